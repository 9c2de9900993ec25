#include "frame/run_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdarg>

#include "platform/core/desktop.h"
#include "platform/core/paths.h"
#include "platform/core/regular_file.h"

RunLog runLog;

bool OpenRunLog(RunLog& log) {
  CloseRunLog(log);
  if (log.level == NoLog) return true;
  std::string native;
  if (platform::ResolvePath(log.fileName, native, platform::PathUse::Create) != ERROR_SUCCESS) return false;
  // Opened as every file is (beneath its drive folder when it lies in an image), and only a
  // regular file: a FIFO under the log's name would hold the run for ever.
  int fd = platform::OpenRegularFile(native, O_WRONLY | O_CREAT | (log.mode == Overwrite ? O_TRUNC : O_APPEND), 0666);
  if (fd < 0) return false;
  log.file = ::fdopen(fd, log.mode == Overwrite ? "w" : "a");
  if (!log.file) ::close(fd);
  return log.file != nullptr;
}

void WriteLogLine(RunLog& log, LineClass lineClass, const char* format, ...) {
  if (log.level == NoLog) return;
  if (lineClass == LineClass::FullOnly && log.level == ErrorLogOnly) return;
  if (!log.file) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(log.file, format, args);
  va_end(args);
}

void CloseRunLog(RunLog& log) {
  if (log.file) std::fclose(log.file);
  log.file = nullptr;
}

void ViewRunLog(const std::string& fileName) {
  // No quotes: the viewer takes the whole rest of the line as the name.
  WinExec(("Notepad.exe " + fileName).c_str(), SW_SHOWDEFAULT);
}

void WriteReport(RunLog& log, const ReportFrame& frame, std::time_t now) {
  static const char kSeparator[] = "===============================\n";
  OpenRunLog(log);  // a report that cannot be opened is dropped line by line
  WriteLogLine(log, LineClass::Always, "%s", kSeparator);
  std::tm local{};
  localtime_r(&now, &local);
  char date[32];
  std::strftime(date, sizeof date, "%m/%d/%Y", &local);
  WriteLogLine(log, LineClass::Always, "%s ", date);
  WriteLogLine(log, LineClass::Always, "%02d:%02d:%02d ", local.tm_hour, local.tm_min, local.tm_sec);
  WriteLogLine(log, LineClass::Always, "%s", frame.title);
  WriteLogLine(log, LineClass::Always, "%s", frame.header);
  WriteLogLine(log, LineClass::Always, "%s", kSeparator);
  if (frame.body) frame.body(log);
  WriteLogLine(log, LineClass::Always, "\n%s", kSeparator);
  WriteLogLine(log, LineClass::Always, "Processed\t%li\n", frame.processed);
  WriteLogLine(log, LineClass::Always, "Errors\t%li\n", frame.errors);
  WriteLogLine(log, LineClass::Always, "\n");
  CloseRunLog(log);
}
