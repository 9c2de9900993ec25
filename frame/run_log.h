// The run log: every run's tab-separated report goes to this one file.
#pragma once

#include <cstdio>
#include <ctime>
#include <functional>
#include <string>

#include "platform/core/win32.h"

enum LogLevel : int32_t { FullLog = 0, ErrorLogOnly = 1, NoLog = 2 };
enum WriteMode : int32_t { Append = 0, Overwrite = 1 };
enum class LineClass { Always = 0, FullOnly = 1 };

struct RunLog {
  std::string fileName;
  std::FILE* file = nullptr;
  int32_t level = ErrorLogOnly;
  int32_t mode = Overwrite;
};

extern RunLog runLog;

// Opens the file for the report ("w" for Overwrite, "a" otherwise); with No Log nothing is
// opened and the result is true. The name goes through the platform's path function.
bool OpenRunLog(RunLog& log = runLog);

// Writes one formatted piece of a report line, or nothing when the level or the class drops it.
void WriteLogLine(RunLog& log, LineClass lineClass, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

void CloseRunLog(RunLog& log = runLog);

// "&View Log": opens `fileName` in the desktop's text viewer; a viewer that cannot be started
// does nothing.
void ViewRunLog(const std::string& fileName);

// The report frame shared by both programs: separator, date and time with the title, the
// column header, separator, the body, separator, "Processed" and "Errors".
struct ReportFrame {
  const char* title;   // "Gathering completed\n" or "Operation completed\n"
  const char* header;  // the program's column header line, with its "\n"
  std::function<void(RunLog&)> body;
  long processed = 0;
  long errors = 0;
};

// `now` is the local time the report carries (taken by the caller, so tests can fix it).
void WriteReport(RunLog& log, const ReportFrame& frame, std::time_t now);
