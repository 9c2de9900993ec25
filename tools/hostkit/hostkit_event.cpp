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
#include "tools/hostkit/event_listing.h"
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

}  // namespace

int FindLog(const std::string& name, const std::string& given, platform::EventLogLocation& out,
            std::string* computerName) {
  std::string log;
  if (int rc = StandardLogName(given, log)) return rc;
  platform::ComputerImage image;
  if (int rc = FindImage(name, image)) return rc;
  if (computerName) *computerName = image.name;
  if (DWORD rc = platform::LocateImageEventLog(image, log.c_str(), out); rc != ERROR_SUCCESS)
    return Fail("the " + log + " log of " + image.name + " cannot be placed in its image: " + Reason(rc));
  if (out.file.empty()) return Fail("the folder of the " + log + " log of " + image.name + " does not exist in its image");
  return 0;
}

namespace {

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
  if (args.size() != 2) return Misused("event");
  platform::EventLogLocation log;
  std::string imageName;
  if (int rc = FindLog(args[0], args[1], log, &imageName)) return rc;
  if (!haveComputer) in.computer = imageName;
  DWORD number = 0;
  if (DWORD rc = platform::AppendEventRecords(log, {in}, &number); rc != ERROR_SUCCESS)
    return Fail("cannot write the record: " + (rc == ERROR_LOG_FILE_FULL ? FullLogReason(imageName, log)
                                                                    : "the " + log.logName + " log of " + imageName +
                                                                          " answers " + Reason(rc)));
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
  if (args.size() != 2) return Misused("fill");
  platform::EventLogLocation log;
  std::string imageName;
  if (int rc = FindLog(args[0], args[1], log, &imageName)) return rc;
  DWORD clock = 0;
  if (DWORD rc = platform::NewestEventTime(log, clock); rc != ERROR_SUCCESS)
    return Fail("cannot read the " + log.logName + " log of " + imageName + ": " + Reason(rc));
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
    DWORD first = 0;
    if (DWORD rc = platform::AppendEventRecords(log, batch, &first); rc != ERROR_SUCCESS) {
      // A full log takes the records that fit and refuses the rest of the batch: those that went
      // in count as written.
      DWORD next = 0;
      if (first != 0 && NextRecordNumber(log, next) == ERROR_SUCCESS && next > first) done += next - first;
      const std::string written = "wrote " + std::to_string(done) + " of " + std::to_string(count) + " records";
      if (rc == ERROR_LOG_FILE_FULL) return Fail(written + ": " + FullLogReason(imageName, log));
      return Fail(written + ", then " + Reason(rc));
    }
    done += n;
  }
  return 0;
}

int RunPut(const std::vector<std::string>& args) {
  if (args.size() != 3) return Misused("put");
  platform::ComputerImage image;
  if (int rc = FindImage(args[0], image)) return rc;
  std::ifstream in(args[2], std::ios::binary);
  if (!in) return Fail("cannot read \"" + args[2] + "\": " + std::strerror(errno));
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
    return Fail("cannot place \"" + win + "\" in the image of " + image.name + ": " + Reason(rc));
  if (platform::ReplaceError e = platform::ReplaceFile(native, bytes, 0644))
    return Fail("cannot write \"" + native + "\": " + std::strerror(e.error));
  return 0;
}

int RunEvents(const std::vector<std::string>& given) {
  std::vector<std::string> args = given;
  // --describe: the Category, UserName, Type and Description the row builder gives, read
  // through the computer's own registry as a gather with "Remote Computer" does.
  const bool describe = TakeFlag(args, "--describe");
  // --readable: the listing for a person, which needs the same descriptions.
  const bool readable = TakeFlag(args, "--readable");
  if (args.size() != 2) return Misused("events");
  std::string logName;
  if (int rc = StandardLogName(args[1], logName)) return rc;
  platform::ComputerImage image;
  if (int rc = FindImage(args[0], image)) return rc;
  EventLogReader describer(nullptr, logName.c_str());
  if (describe || readable) {
    std::snprintf(describer.computerName, sizeof describer.computerName, "%s", args[0].c_str());
    bool ok = false;
    describer.resolver = std::make_unique<MessageFileResolver>(args[0].c_str(), logName.c_str(), ok);
    // The gather reads no record of a log whose sources it cannot look up, and --describe shows
    // what the gather stores; a listing for a person shows the records without their texts.
    if (!ok && describe)
      return Fail("registry unavailable: " + Reason(static_cast<DWORD>(describer.resolver->lastRegistryError())));
    if (!ok) describer.resolver.reset();
  }
  HANDLE log = OpenEventLogA(args[0].c_str(), logName.c_str());
  if (!log) {
    const DWORD e = GetLastError();
    return Fail("cannot open the " + logName + " log of " + image.name + ": " + Reason(e) +
                ImageFaultNote(image, e, "eventlog:" + logName));
  }
  if (readable) {
    DWORD count = 0;
    GetNumberOfEventLogRecords(log, &count);
    const std::string header = ReadableHeader(image.name, logName, count);
    std::fwrite(header.data(), 1, header.size(), stdout);
  }
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
      if (e != ERROR_HANDLE_EOF) rc = Fail("reading the " + logName + " log of " + image.name + " stopped: " + Reason(e));
      break;
    }
    for (DWORD off = 0; off < got;) {
      DWORD length;
      std::memcpy(&length, buffer.data() + off, sizeof length);
      if (readable) {
        const auto* record = reinterpret_cast<const EVENTLOGRECORD*>(buffer.data() + off);
        const std::string text = ReadableRecord(record, BuildEventRow(describer, record).row);
        std::fwrite(text.data(), 1, text.size(), stdout);
        off += length;
        continue;
      }
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

const VerbRegistration kEvent({
    "event",
    "hostkit event NAME LOG --source S --id N [--type T] [--category C] [--time-generated SECONDS]\n"
    "    [--time-written SECONDS] [--computer C] [--user SID] [--string TEXT]... [--data HEX]",
    "Appends one record to the log LOG (System, Security or Application) of NAME and prints its\n"
    "record number. Written as the event log service writes it, so a full log refuses the record\n"
    "unless its retention lets the oldest go (hostkit log sets both).\n"
    "\n"
    "  --source S            the event source (required)\n"
    "  --id N                the event ID with its severity bits, decimal or 0x hex (required)\n"
    "  --type T              error, warning, information (the default), audit-success,\n"
    "                        audit-failure, success, or a number\n"
    "  --category C          the category number, 0 by default\n"
    "  --time-generated S    seconds since 1970-01-01 UTC, now by default; also the time written\n"
    "  --time-written S      the time written, when it differs\n"
    "  --computer C          the computer name the record carries, NAME by default\n"
    "  --user SID            the record's user, S-1-5-21-...-500\n"
    "  --string TEXT         an insertion string; repeat for each, in order\n"
    "  --data HEX            the record's data, an even number of hex digits\n",
    RunEvent});
const VerbRegistration kFill({
    "fill",
    "hostkit fill NAME LOG --count N [--seed S] [--sources K]",
    "Appends N synthetic records to the log LOG of NAME, as a busy NT server writes them: several\n"
    "a second, from K sources (8 by default), with account SIDs, insertion strings and data on\n"
    "some. The same seed writes the same records; the clock goes on from the log's newest record.\n"
    "When the log is full, says how many records went in and why (its size and retention).\n",
    RunFill});
const VerbRegistration kPut({
    "put",
    "hostkit put NAME WINPATH FILE",
    "Copies FILE into the image of NAME at the Windows path WINPATH (C:\\WINNT\\System32\\x.dll),\n"
    "making the folders on the way. Paths resolve without regard to case, as on Windows; nothing\n"
    "is written outside the image's drive folder.\n",
    RunPut});
const VerbRegistration kEvents({
    "events",
    "hostkit events NAME LOG [--describe | --readable]",
    "Lists the records of the log LOG of NAME, oldest first, as the event log service serves them\n"
    "(a computer switched off or denying access answers as it would to Corvane).\n"
    "\n"
    "Without an option, one line per record, fields separated by tabs: record number, time\n"
    "generated and time written (seconds since 1970 UTC), event ID (all 32 bits), type, category,\n"
    "source, computer, user SID, the insertion strings separated by 0x1F, the data in hex. Tabs,\n"
    "line ends and backslashes inside a field are written \\t, \\n, \\r and \\\\.\n"
    "\n"
    "  --describe  adds four fields: the category text, the user name, the type text and the\n"
    "              description, read through NAME's registry and message files as Corvane reads\n"
    "              them\n"
    "  --readable  the listing for a person instead: a header, then each record with its local\n"
    "              time, type, the event ID as Windows shows it (its low 16 bits), source,\n"
    "              category, user and computer, with its description and insertion strings below\n",
    RunEvents});

}  // namespace
}  // namespace hostkit
