// hostkit: builds and changes computer images. Each verb lives in a file of its own and
// registers itself here, so adding a verb is adding a file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/network.h"
#include "platform/eventlog/eventlog.h"
#include "platform/core/win32.h"

namespace hostkit {

struct Verb {
  const char* name;   // first word of the command line ("create", "reg", "event", ...)
  const char* usage;  // one line per form, shown by "hostkit help" and with a misuse
  const char* help;   // what the verb does and its options, shown by "hostkit VERB --help"
  // `args` are the words after the verb, with "--network DIR" already taken out (it has set
  // TALLYARD_NETWORK). Returns the process exit code; errors are printed to stderr.
  int (*run)(const std::vector<std::string>& args);
};

// Registers a verb at static-initialisation time.
struct VerbRegistration {
  explicit VerbRegistration(const Verb& verb);
};

// Small helpers for the verbs' own option parsing.
// Takes "--name VALUE" (or "--name=VALUE") out of args; false when absent.
bool TakeOption(std::vector<std::string>& args, const std::string& name, std::string& value);
// Takes every occurrence of "--name VALUE", in order.
std::vector<std::string> TakeRepeated(std::vector<std::string>& args, const std::string& name);
// Takes a "--name" flag without a value.
bool TakeFlag(std::vector<std::string>& args, const std::string& name);
// Prints "hostkit: <message>" to stderr and returns 2 (a usage error) or 1.
int Fail(const std::string& message, int code = 1);
// A verb called wrongly: `why` (when given), then the verb's usage; returns 2.
int Misused(const char* verb, const std::string& why = "");

// The computer NAME of the network folder, switched on or not: 0, or 1 after saying
// "no computer NAME in the network folder DIR".
int FindImage(const std::string& name, platform::ComputerImage& image);
// One of the three logs every NT computer keeps, in its own spelling: 0, or 2 after saying
// "log NAME is not System, Security or Application". The platform would open Application for
// any other name, which is never what a person who mistyped one wants written.
int StandardLogName(const std::string& given, std::string& log);
// A Windows code as a person reads it: "the event log file is full (error 1502)".
std::string Reason(DWORD code);
// Computer names are NetBIOS names, which are upper case.
std::string NetBiosName(std::string name);

// Why the image refuses what `code` answered, when its host.ini says so: ": its host.ini says
// online = false"; empty otherwise. `denial` is the deny entry that would refuse it.
std::string ImageFaultNote(const platform::ComputerImage& image, DWORD code, const std::string& denial);

// The log LOG (one of the three) of the computer NAME, for the writing verbs: any image,
// switched on or not. 0, or the exit code after saying why not.
int FindLog(const std::string& name, const std::string& log, platform::EventLogLocation& out,
            std::string* computerName = nullptr);
// The number the next record written to the log will get (1 for an empty or missing log).
DWORD NextRecordNumber(const platform::EventLogLocation& log, DWORD& next);
// Why a log takes no more records, in words: its size limit, its retention, and the command
// that gives it room.
std::string FullLogReason(const std::string& computer, const platform::EventLogLocation& log);

// Replaces the file at `path` by `bytes` in one step: the file is whole or untouched.
bool WriteWhole(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace hostkit
