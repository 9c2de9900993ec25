// hostkit log and clear: a log's size limit and retention, shown and set in the computer's
// registry as the Event Viewer's log settings set them; and a log emptied as an administrator
// empties it.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <tuple>
#include <string>
#include <vector>

#include "platform/core/network.h"
#include "platform/eventlog/eventlog.h"
#include "platform/registry/registry.h"
#include "tools/hostkit/event_fields.h"
#include "tools/hostkit/hostkit.h"

namespace hostkit {
namespace {

constexpr DWORD kOverwriteAsNeeded = 0;
constexpr DWORD kNeverOverwrite = 0xFFFFFFFF;
constexpr DWORD kDay = 86400;
constexpr DWORD kMaxRetentionDays = 365;
constexpr uint64_t kLargestLog = 0xFFFF0000u;  // the largest whole number of 64K steps in 32 bits

std::string SizeText(uint64_t bytes) {
  if (bytes % (1024 * 1024) == 0) return std::to_string(bytes / (1024 * 1024)) + " MiB";
  if (bytes % 1024 == 0) return std::to_string(bytes / 1024) + " KiB";
  return std::to_string(bytes) + " bytes";
}

// As --max-size takes it.
std::string SizeArgument(uint64_t bytes) {
  if (bytes % (1024 * 1024) == 0) return std::to_string(bytes / (1024 * 1024)) + "M";
  return std::to_string(bytes / 1024) + "K";
}

std::string RetentionAge(DWORD retention) {
  if (retention % kDay == 0) return std::to_string(retention / kDay) + (retention == kDay ? " day" : " days");
  return std::to_string(retention) + " seconds";
}

std::string RetentionText(DWORD retention) {
  if (retention == kOverwriteAsNeeded) return "overwrite as needed";
  if (retention == kNeverOverwrite) return "never overwrite (a full log refuses new records)";
  return "keep records " + RetentionAge(retention) + " (older ones are overwritten when the log is full)";
}

// "overwrite", "never" or a number of days.
bool ParseRetention(const std::string& text, DWORD& out) {
  uint64_t days = 0;
  if (text == "overwrite") out = kOverwriteAsNeeded;
  else if (text == "never") out = kNeverOverwrite;
  else if (ParseNumber(text, kMaxRetentionDays, days) && days > 0) out = static_cast<DWORD>(days * kDay);
  else return false;
  return true;
}

int RunLog(const std::vector<std::string>& given) {
  std::vector<std::string> args = given;
  std::string sizeText, retentionText;
  const bool setSize = TakeOption(args, "--max-size", sizeText);
  const bool setRetention = TakeOption(args, "--retention", retentionText);
  if (args.size() != 2) return Misused("log");
  DWORD maxSize = 0, retention = 0;
  if (setSize && !ParseLogSize(sizeText, maxSize))
    return Fail("--max-size must be a whole number of 64K steps, such as 512K or 4M", 2);
  if (setRetention && !ParseRetention(retentionText, retention))
    return Fail("--retention must be overwrite, never or a number of days from 1 to 365", 2);
  std::string log;
  if (int rc = StandardLogName(args[1], log)) return rc;
  platform::ComputerImage image;
  if (int rc = FindImage(args[0], image)) return rc;
  const std::string key = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\" + log;
  for (auto [wanted, name, value] : {std::tuple{setSize, "MaxSize", maxSize}, std::tuple{setRetention, "Retention", retention}}) {
    if (!wanted) continue;
    if (DWORD rc = platform::WriteImageValue(image, key, name, platform::DwordValue(value)))
      return Fail("cannot write " + std::string(name) + " of the " + log + " log of " + image.name + ": " + Reason(rc));
  }
  platform::EventLogLocation location;
  if (DWORD rc = platform::LocateImageEventLog(image, log.c_str(), location); rc != ERROR_SUCCESS)
    return Fail("the " + log + " log of " + image.name + " cannot be placed in its image: " + Reason(rc));
  std::printf("%s %s log\n", image.name.c_str(), log.c_str());
  struct stat st;
  const bool haveFile = !location.file.empty() && ::stat(location.file.c_str(), &st) == 0;
  std::printf("file       %s%s\n", location.file.empty() ? "(its folder is missing)" : location.file.c_str(),
              haveFile ? (" (" + SizeText(static_cast<uint64_t>(st.st_size)) + ")").c_str() : " (not made yet)");
  DWORD next = 1;
  if (haveFile && NextRecordNumber(location, next) == ERROR_SUCCESS) {
    HANDLE h = OpenBackupEventLogA(nullptr, location.file.c_str());
    DWORD count = 0, oldest = 0;
    if (h && GetNumberOfEventLogRecords(h, &count) && GetOldestEventLogRecord(h, &oldest) && count > 0)
      std::printf("records    %u (numbers %u to %u)\n", count, oldest, oldest + count - 1);
    else
      std::printf("records    none\n");
    if (h) CloseEventLog(h);
  }
  std::printf("max size   %s\n", SizeText(location.maxSize).c_str());
  std::printf("retention  %s\n", RetentionText(location.retention).c_str());
  // The writer never shrinks a file: a smaller limit holds from the next clear.
  if (haveFile && static_cast<uint64_t>(st.st_size) > location.maxSize)
    std::printf("note       the file stays larger than its limit until the log is cleared\n");
  return 0;
}

int RunClear(const std::vector<std::string>& given) {
  std::vector<std::string> args = given;
  std::string backup;
  const bool haveBackup = TakeOption(args, "--backup", backup);
  if (args.size() != 2) return Misused("clear");
  std::string log;
  if (int rc = StandardLogName(args[1], log)) return rc;
  platform::ComputerImage image;
  if (int rc = FindImage(args[0], image)) return rc;
  HANDLE h = OpenEventLogA(image.name.c_str(), log.c_str());
  if (!h) {
    const DWORD e = GetLastError();
    return Fail("cannot open the " + log + " log of " + image.name + ": " + Reason(e) +
                ImageFaultNote(image, e, "eventlog:" + log));
  }
  DWORD count = 0;
  GetNumberOfEventLogRecords(h, &count);
  const BOOL cleared = ClearEventLogA(h, haveBackup ? backup.c_str() : nullptr);
  const DWORD e = GetLastError();
  CloseEventLog(h);
  if (!cleared) {
    if (e == ERROR_ALREADY_EXISTS) return Fail("the backup file " + backup + " exists already: nothing was cleared");
    return Fail("cannot clear the " + log + " log of " + image.name + ": " + Reason(e) + ImageFaultNote(image, e, "clear"));
  }
  std::printf("cleared the %s log of %s (%u records%s)\n", log.c_str(), image.name.c_str(), count,
              haveBackup ? ("; saved to " + backup).c_str() : "");
  return 0;
}

}  // namespace

DWORD NextRecordNumber(const platform::EventLogLocation& log, DWORD& next) {
  next = 1;
  struct stat st;
  if (log.file.empty() || ::stat(log.file.c_str(), &st) != 0) return ERROR_SUCCESS;
  HANDLE h = OpenBackupEventLogA(nullptr, log.file.c_str());
  if (!h) return GetLastError();
  DWORD count = 0, oldest = 0;
  DWORD rc = ERROR_SUCCESS;
  if (!GetNumberOfEventLogRecords(h, &count) || !GetOldestEventLogRecord(h, &oldest)) rc = GetLastError();
  else if (count > 0) next = oldest + count;
  CloseEventLog(h);
  return rc;
}

std::string FullLogReason(const std::string& computer, const platform::EventLogLocation& log) {
  std::string why = "the " + log.logName + " log of " + computer + " is full: it may grow to " + SizeText(log.maxSize);
  if (log.retention == kOverwriteAsNeeded) why += ", less than one record needs";
  else if (log.retention == kNeverOverwrite) why += " and never overwrites its records";
  else why += " and overwrites no record younger than " + RetentionAge(log.retention);
  const uint64_t room = std::min<uint64_t>(uint64_t{log.maxSize} * 4, kLargestLog);
  return why + " (hostkit log " + computer + " " + log.logName + " --max-size " + SizeArgument(room) +
         " gives it room)";
}

const VerbRegistration kLog({
    "log",
    "hostkit log NAME LOG [--max-size SIZE] [--retention DAYS|overwrite|never]",
    "Shows the log LOG (System, Security or Application) of NAME: its file, its records, the size\n"
    "it may grow to (MaxSize) and how long it keeps its records (Retention), after setting them\n"
    "in NAME's registry as the options ask. A full log overwrites its oldest records only when\n"
    "they are older than the retention.\n"
    "\n"
    "  --max-size SIZE   512K, 4M or a number of bytes: a whole number of 64K steps. The file\n"
    "                    grows to it as records come in; a smaller limit holds from the next clear\n"
    "  --retention R     overwrite (as needed), never (a full log refuses records), or DAYS\n"
    "                    (1 to 365): records younger than that are never overwritten\n",
    RunLog});
const VerbRegistration kClear({
    "clear",
    "hostkit clear NAME LOG [--backup FILE]",
    "Empties the log LOG of NAME through the event log service, as an administrator clears it\n"
    "(numbering starts again at 1), after saving it with --backup to FILE, a file that must not\n"
    "exist yet. A computer switched off or refusing to clear answers as it would to any program.\n",
    RunClear});

}  // namespace hostkit
