// Turns one event record into the eleven values of its database row: the two times, source,
// computer, account name, type, category text and the description built from the source's
// message files, insertion strings and parameter messages.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "gather/event_log_reader.h"
#include "gather/event_time.h"
#include "gather/message_file_resolver.h"
#include "platform/eventlog/eventlog.h"
#include "platform/messages/message_module.h"
#include "store/event_store.h"

// A row with the description and data it points at. The two blocks live on the heap, so the
// row's pointers stay valid when the whole is moved; both go when it is destroyed (after the
// insert).
struct BuiltEventRow {
  EventRow row;
  std::unique_ptr<char[]> description;
  std::unique_ptr<BYTE[]> data;
};

// Never fails: every record yields a complete row.
BuiltEventRow BuildEventRow(const EventLogReader& reader, const EVENTLOGRECORD* record);

// "Error", "Warning", "Information", "Success Audit", "Failure Audit"; any other value gives
// "Unknown type N" with the value in decimal, so the row still says what the record held.
std::string EventTypeName(WORD eventType);

// The account name of the record's user on `computer`, without its domain; empty without a SID,
// with a SID that does not fit the record, or when the lookup fails. At most 254 bytes.
std::string LookupUserName(const char* computer, const EVENTLOGRECORD* record);

// "Not found." when the source names no category file, "None" when no file has the category,
// else its text without the line end, cut to 254 bytes.
std::string FormatCategory(const MessageFileResolver* resolver, int32_t sourceIndex, const EVENTLOGRECORD* record);

// The description and its length in bytes (the empty text when memory ran out).
struct Description {
  std::unique_ptr<char[]> text;
  DWORD length = 0;
};
Description FormatDescription(const MessageFileResolver* resolver, const char* sourceName, int32_t sourceIndex,
                              const EVENTLOGRECORD* record);

// Replaces "%n" (1 <= n <= strings.size()) by insertion string n; false when nothing was replaced
// (the text is then unchanged).
bool SubstituteInserts(std::string& text, const std::vector<std::string>& strings);

// Replaces each "%%n" by parameter message n of `module`. A parameter message may name others
// (or itself); at most kMaxParameterExpansions replacements are made in one string, so such
// a chain ends.
constexpr int kMaxParameterExpansions = 64;
void ExpandParameters(std::string& text, HMODULE module);

// The record's pieces, each bounded by the record's Length: the source name, the computer
// name and the insertion strings (a text without its terminator ends at the record's end).
std::string RecordSourceName(const EVENTLOGRECORD* record);
std::string RecordComputerName(const EVENTLOGRECORD* record);
std::vector<std::string> RecordStrings(const EVENTLOGRECORD* record);

// The fallback description for a record whose message files hold no text for it.
std::string FallbackDescription(DWORD eventId, const char* sourceName, const std::vector<std::string>& strings);
