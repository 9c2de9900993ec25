// Event log verbs: append one record, fill a log with synthetic records, put a file into an image,
// and print a log as ReadEventLogA serves it.
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "gather/event_row.h"
#include "platform/eventlog/eventlog.h"
#include "platform/core/file_replace.h"
#include "platform/core/network.h"
#include "platform/core/paths.h"
#include "platform/core/sid.h"
#include "tools/hostkit/event_fields.h"
#include "tools/hostkit/hostkit.h"

namespace hostkit {
namespace {

std::string Code(DWORD code) { return std::to_string(code); }

std::string Escape(const char* text, size_t length) {
  std::string out;
  for (size_t i = 0; i < length; ++i) {
    switch (text[i]) {
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\\': out += "\\\\"; break;
      default: out.push_back(text[i]);
    }
  }
  return out;
}

// The NUL-terminated text at `offset` of a record of `length` bytes, never read past the record.
std::string TextAt(const uint8_t* record, DWORD length, DWORD offset, DWORD& next) {
  const char* begin = reinterpret_cast<const char*>(record) + offset;
  size_t room = offset < length ? length - offset : 0;
  size_t n = strnlen(begin, room);
  next = offset + static_cast<DWORD>(n) + 1;
  return Escape(begin, n);
}

// One record as one line: number, both times, event ID, type, category, source, computer, SID,
// the strings joined by 0x1F, and the data in lowercase hex, separated by tabs.
std::string FormatRecordLine(const uint8_t* record) {
  EVENTLOGRECORD r;
  std::memcpy(&r, record, sizeof r);
  DWORD next = sizeof r;
  std::string source = TextAt(record, r.Length, next, next);
  std::string computer = TextAt(record, r.Length, next, next);
  // A length other than the SID's own is no SID: the line shows none.
  std::string sid;
  if (r.UserSidLength && platform::SidLength(record + r.UserSidOffset, r.UserSidLength) == r.UserSidLength)
    sid = platform::SidText(record + r.UserSidOffset, r.UserSidLength);
  std::string strings;
  next = r.StringOffset;
  for (WORD i = 0; i < r.NumStrings; ++i) {
    if (i) strings.push_back('\x1F');
    strings += TextAt(record, r.Length, next, next);
  }
  std::string data;
  static const char kHex[] = "0123456789abcdef";
  for (DWORD i = 0; i < r.DataLength; ++i) {
    data.push_back(kHex[record[r.DataOffset + i] >> 4]);
    data.push_back(kHex[record[r.DataOffset + i] & 0xF]);
  }
  return std::to_string(r.RecordNumber) + "\t" + std::to_string(r.TimeGenerated) + "\t" + std::to_string(r.TimeWritten) +
         "\t" + std::to_string(r.EventID) + "\t" + std::to_string(r.EventType) + "\t" + std::to_string(r.EventCategory) +
         "\t" + source + "\t" + computer + "\t" + sid + "\t" + strings + "\t" + data;
}

// The image and the log named on the command line, for the writing verbs: any image, switched
// on or not.
int FindLog(const std::string& name, const std::string& log, platform::EventLogLocation& out,
            std::string* computerName = nullptr) {
  platform::ComputerImage image;
  if (platform::FindComputer(name, image) != ERROR_SUCCESS) return Fail("no computer \"" + name + "\" in the network");
  if (computerName) *computerName = image.name;
  if (DWORD rc = platform::LocateImageEventLog(image, log.c_str(), out); rc != ERROR_SUCCESS)
    return Fail("cannot locate log \"" + log + "\": error " + Code(rc));
  if (out.file.empty()) return Fail("the folder of log \"" + log + "\" does not exist in the image");
  return 0;
}

int RunEvent(const std::vector<std::string>& argsIn) {
  std::vector<std::string> args = argsIn;
  platform::EventInput in;
  std::string value;
  uint64_t v;
  const DWORD now = static_cast<DWORD>(std::time(nullptr));
  in.timeGenerated = in.timeWritten = now;
  if (!TakeOption(args, "--source", in.source)) return Fail("event: --source is required", 2);
  if (!TakeOption(args, "--id", value) || !ParseNumber(value, 0xFFFFFFFFu, v)) return Fail("event: --id N is required", 2);
  in.eventId = static_cast<DWORD>(v);
  if (TakeOption(args, "--type", value) && !ParseType(value, in.eventType)) return Fail("event: bad --type", 2);
  if (TakeOption(args, "--category", value)) {
    if (!ParseNumber(value, 0xFFFF, v)) return Fail("event: bad --category", 2);
    in.eventCategory = static_cast<WORD>(v);
  }
  if (TakeOption(args, "--time-generated", value)) {
    if (!ParseNumber(value, 0xFFFFFFFFu, v)) return Fail("event: bad --time-generated", 2);
    in.timeGenerated = in.timeWritten = static_cast<DWORD>(v);
  }
  if (TakeOption(args, "--time-written", value)) {
    if (!ParseNumber(value, 0xFFFFFFFFu, v)) return Fail("event: bad --time-written", 2);
    in.timeWritten = static_cast<DWORD>(v);
  }
  if (TakeOption(args, "--user", value) && !ParseSid(value, in.userSid)) return Fail("event: bad --user SID", 2);
  if (TakeOption(args, "--data", value) && !ParseHex(value, in.data)) return Fail("event: bad --data hex", 2);
  in.strings = TakeRepeated(args, "--string");
  bool haveComputer = TakeOption(args, "--computer", in.computer);
  if (args.size() != 2) return Fail("usage: hostkit event NAME LOG --source S --id N ...", 2);
  platform::EventLogLocation log;
  std::string imageName;
  if (int rc = FindLog(args[0], args[1], log, &imageName)) return rc;
  if (!haveComputer) in.computer = imageName;
  DWORD number = 0;
  if (DWORD rc = platform::AppendEventRecords(log, {in}, &number); rc != ERROR_SUCCESS)
    return Fail("cannot write the record: error " + Code(rc));
  std::printf("%u\n", number);
  return 0;
}

// Synthetic records that look like a busy NT server's: a handful of sources with their usual
// event IDs, account SIDs on some, insertion strings of realistic length, binary data on some.
struct Synth {
  std::mt19937_64 rng;
  std::vector<std::string> sources;
  std::string computer;
  uint64_t serial = 0;

  uint32_t Pick(uint32_t n) { return static_cast<uint32_t>(rng() % n); }

  platform::EventInput Next(DWORD& clock) {
    static const char* const kWords[] = {"service", "driver", "the", "network", "browser", "domain", "controller",
                                         "account", "failed", "started", "stopped", "printer", "session", "logon",
                                         "workstation", "timeout", "connection", "\\Device\\NetBT_E100B1"};
    static const char* const kUsers[] = {"Administrator", "jsmith", "backup", "SYSTEM", "svc_sql", "mwilson"};
    platform::EventInput in;
    in.computer = computer;
    in.source = sources[Pick(static_cast<uint32_t>(sources.size()))];
    const DWORD ids[] = {7000, 7001, 7026, 7035, 7036, 6005, 6006, 6009, 5719, 3013, 8021, 2013, 528, 529, 538, 540};
    in.eventId = ids[Pick(16)] | (Pick(4) == 0 ? 0xC0000000u : Pick(3) == 0 ? 0x80000000u : 0x40000000u);
    const WORD types[] = {EVENTLOG_INFORMATION_TYPE, EVENTLOG_INFORMATION_TYPE, EVENTLOG_WARNING_TYPE,
                          EVENTLOG_ERROR_TYPE, EVENTLOG_AUDIT_SUCCESS, EVENTLOG_AUDIT_FAILURE};
    in.eventType = types[Pick(6)];
    in.eventCategory = static_cast<WORD>(Pick(3) == 0 ? 0 : 1 + Pick(9));
    // Several records per second: the clock moves on every few records.
    if (Pick(4) == 0) clock += 1 + (Pick(16) == 0 ? Pick(120) : 0);
    in.timeWritten = clock;
    in.timeGenerated = clock - (Pick(5) == 0 ? Pick(3) : 0);
    if (Pick(3) != 0) {
      uint32_t rid = Pick(4) == 0 ? 500 : 1000 + Pick(200);
      in.userSid = platform::MakeSid(5, {21, 0x2E9B1A2Fu, 0x51C3D0E7u, 0x7A5F3C21u, rid});
    }
    const uint32_t strings = Pick(5);
    for (uint32_t s = 0; s < strings; ++s) {
      std::string text;
      if (s == 0) text = kUsers[Pick(6)];
      const uint32_t words = Pick(8);
      for (uint32_t w = 0; w < words; ++w) {
        if (!text.empty()) text.push_back(' ');
        text += kWords[Pick(18)];
      }
      in.strings.push_back(text);
    }
    // No two records alike: the last string carries a serial.
    in.strings.push_back("#" + std::to_string(++serial));
    if (Pick(4) == 0) {
      const uint32_t n = 4 * (1 + Pick(16));
      for (uint32_t i = 0; i < n; ++i) in.data.push_back(static_cast<uint8_t>(rng()));
    }
    return in;
  }
};

int RunFill(const std::vector<std::string>& argsIn) {
  std::vector<std::string> args = argsIn;
  std::string value;
  uint64_t count = 0, seed = 1, sources = 8;
  if (!TakeOption(args, "--count", value) || !ParseNumber(value, 100000000, count)) return Fail("fill: --count N is required", 2);
  if (TakeOption(args, "--seed", value) && !ParseNumber(value, ~0ull, seed)) return Fail("fill: bad --seed", 2);
  if (TakeOption(args, "--sources", value) && (!ParseNumber(value, 1000, sources) || sources == 0))
    return Fail("fill: bad --sources", 2);
  if (args.size() != 2) return Fail("usage: hostkit fill NAME LOG --count N [--seed S] [--sources K]", 2);
  platform::EventLogLocation log;
  std::string imageName;
  if (int rc = FindLog(args[0], args[1], log, &imageName)) return rc;
  DWORD clock = 0;
  if (DWORD rc = platform::NewestEventTime(log, clock); rc != ERROR_SUCCESS)
    return Fail("cannot read the log: error " + Code(rc));
  if (clock == 0) clock = 946713600;  // an empty log starts on 2000-01-01 08:00 UTC
  static const char* const kSources[] = {"Service Control Manager", "EventLog", "NetLogon", "Srv", "Rdr", "Browser",
                                         "Print", "Tcpip", "DhcpServer", "W32Time", "Security", "MSSQLServer",
                                         "Application Popup", "LicenseService", "Disk", "atapi"};
  Synth synth{std::mt19937_64(seed), {}, imageName, 0};
  for (uint64_t i = 0; i < sources; ++i)
    synth.sources.push_back(i < 16 ? std::string(kSources[i]) : "Source" + std::to_string(i));
  std::vector<platform::EventInput> batch;
  uint64_t done = 0;
  while (done < count) {
    batch.clear();
    const uint64_t n = std::min<uint64_t>(4096, count - done);
    for (uint64_t i = 0; i < n; ++i) batch.push_back(synth.Next(clock));
    if (DWORD rc = platform::AppendEventRecords(log, batch); rc != ERROR_SUCCESS)
      return Fail("stopped after " + std::to_string(done) + " records: error " + Code(rc));
    done += n;
  }
  return 0;
}

int RunPut(const std::vector<std::string>& args) {
  if (args.size() != 3) return Fail("usage: hostkit put NAME WINPATH FILE", 2);
  platform::ComputerImage image;
  if (platform::FindComputer(args[0], image) != ERROR_SUCCESS) return Fail("no computer \"" + args[0] + "\" in the network");
  std::ifstream in(args[2], std::ios::binary);
  if (!in) return Fail("cannot read \"" + args[2] + "\"");
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // Make the folders on the way, each found or made through the drive folder's descriptor.
  const std::string& win = args[1];
  const size_t lastSep = win.find_last_of("\\/");
  if (lastSep != std::string::npos && lastSep > 2) {
    std::string folder;
    if (DWORD rc = platform::MakeImageFolders(image, win.substr(0, lastSep), 0755, folder); rc != ERROR_SUCCESS)
      return Fail("cannot place \"" + win + "\": error " + Code(rc));
  }
  std::string native;
  if (DWORD rc = platform::ResolveImagePath(image, win, native, platform::PathUse::Create); rc != ERROR_SUCCESS)
    return Fail("cannot place \"" + win + "\": error " + Code(rc));
  if (platform::ReplaceError e = platform::ReplaceFile(native, bytes, 0644))
    return Fail("cannot write \"" + native + "\": " + std::strerror(e.error));
  return 0;
}

int RunEvents(const std::vector<std::string>& given) {
  std::vector<std::string> args = given;
  // --describe: the Category, UserName, Type and Description the row builder gives, read
  // through the computer's own registry as a gather with "Remote Computer" does.
  const bool describe = TakeFlag(args, "--describe");
  if (args.size() != 2) return Fail("usage: hostkit events NAME LOG [--describe]", 2);
  EventLogReader describer(nullptr, args[1].c_str());
  if (describe) {
    std::snprintf(describer.computerName, sizeof describer.computerName, "%s", args[0].c_str());
    bool ok = false;
    describer.resolver = std::make_unique<MessageFileResolver>(args[0].c_str(), args[1].c_str(), ok);
    // The gather reads no record of a log whose sources it cannot look up: neither do we.
    if (!ok)
      return Fail("registry unavailable: error " + Code(static_cast<DWORD>(describer.resolver->lastRegistryError())));
  }
  HANDLE log = OpenEventLogA(args[0].c_str(), args[1].c_str());
  if (!log) return Fail("cannot open log \"" + args[1] + "\": error " + Code(GetLastError()));
  std::vector<uint8_t> buffer(0x10000);
  int rc = 0;
  while (true) {
    DWORD got = 0, need = 0;
    if (!ReadEventLogA(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, buffer.data(),
                       static_cast<DWORD>(buffer.size()), &got, &need)) {
      DWORD e = GetLastError();
      if (e == ERROR_INSUFFICIENT_BUFFER) {
        buffer.resize(need);
        continue;
      }
      if (e != ERROR_HANDLE_EOF) rc = Fail("reading stopped: error " + Code(e));
      break;
    }
    for (DWORD off = 0; off < got;) {
      DWORD length;
      std::memcpy(&length, buffer.data() + off, sizeof length);
      std::string line = FormatRecordLine(buffer.data() + off);
      if (describe) {
        BuiltEventRow row = BuildEventRow(describer, reinterpret_cast<const EVENTLOGRECORD*>(buffer.data() + off));
        for (const char* field : {row.row.category, row.row.userName, row.row.type})
          line += "\t" + Escape(field, std::strlen(field));
        line += "\t" + Escape(row.row.description, row.row.descriptionLength);
      }
      std::fwrite(line.data(), 1, line.size(), stdout);
      std::fputc('\n', stdout);
      off += length;
    }
  }
  CloseEventLog(log);
  return rc;
}

const VerbRegistration kEvent({"event",
                               "hostkit event NAME LOG --source S --id N [--type T] [--category C] "
                               "[--time-generated SECONDS] [--time-written SECONDS] [--computer C] [--user SID] "
                               "[--string TEXT]... [--data HEX]",
                               RunEvent});
const VerbRegistration kFill({"fill", "hostkit fill NAME LOG --count N [--seed S] [--sources K]", RunFill});
const VerbRegistration kPut({"put", "hostkit put NAME WINPATH FILE", RunPut});
const VerbRegistration kEvents({"events", "hostkit events NAME LOG [--describe]", RunEvents});

}  // namespace
}  // namespace hostkit
