// The report of an audit run: one tab-separated line per selected computer (its outcome, name,
// outcome text, Win32 code and policy text) inside the run log's common frame. Every line is
// written whatever the level, except under No Log.
#pragma once

#include <ctime>

void WriteAuditReport();
// The same with the time the banner shows given (tests fix it).
void WriteAuditReport(std::time_t now);
