// The listing of a log for a person ("hostkit events --readable"), beside the exact
// tab-separated one that scripts and tests read.
#pragma once

#include <string>

#include "platform/core/win32.h"
#include "platform/eventlog/eventlog.h"
#include "store/event_store.h"

namespace hostkit {

// The log's title and the column heads.
std::string ReadableHeader(const std::string& computer, const std::string& log, DWORD records);

// One record: a line under the column heads (the local time it was generated, type, the event
// ID as Windows shows it, source, category, user, computer), then its description and a line
// of its insertion strings, indented.
std::string ReadableRecord(const EVENTLOGRECORD* record, const EventRow& row);

}  // namespace hostkit
