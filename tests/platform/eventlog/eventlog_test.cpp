// The event log service on .evt files written by our writer and patched into the awkward shapes
// real files have (wrapped, split, filler, dirty, damaged). libevt's evtexport reads the same
// files independently where it can.
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <tuple>
#include <thread>

#include "platform/messages/message_module.h"
#include "tests/platform/eventlog/evt_support.h"
#include "tests/support/tool_run.h"

using namespace evt_test;

namespace {

EventInput Event(int i, size_t dataSize = 3, bool sid = true, int strings = 2) {
  EventInput in;
  in.source = i % 2 ? "Service Control Manager" : "EventLog";
  in.computer = "SRV1";
  in.timeGenerated = 946684800 + static_cast<DWORD>(i);
  in.timeWritten = in.timeGenerated + 1;
  in.eventId = 0xC0001B58u + static_cast<DWORD>(i);
  in.eventType = EVENTLOG_ERROR_TYPE;
  in.eventCategory = static_cast<WORD>(i % 7);
  if (sid) in.userSid = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0};
  for (int k = 0; k < strings; ++k) in.strings.push_back("s" + std::to_string(i) + "-" + std::to_string(k));
  for (size_t k = 0; k < dataSize; ++k) in.data.push_back(static_cast<uint8_t>(k * 7 + static_cast<size_t>(i)));
  return in;
}

// Events from..to-1, each with `dataSize` bytes of data.
std::vector<EventInput> Events(int from, int to, size_t dataSize = 3) {
  std::vector<EventInput> v;
  for (int i = from; i < to; ++i) v.push_back(Event(i, dataSize));
  return v;
}

void ExpectSame(const Rec& r, const EventInput& in, DWORD number) {
  EXPECT_EQ(r.number, number);
  EXPECT_EQ(r.source, in.source);
  EXPECT_EQ(r.computer, in.computer);
  EXPECT_EQ(r.generated, in.timeGenerated);
  EXPECT_EQ(r.written, in.timeWritten);
  EXPECT_EQ(r.id, in.eventId);
  EXPECT_EQ(r.type, in.eventType);
  EXPECT_EQ(r.category, in.eventCategory);
  EXPECT_EQ(r.sid, in.userSid);
  EXPECT_EQ(r.strings, in.strings);
  EXPECT_EQ(r.data, in.data);
}

// One sequential forwards read; false with GetLastError() set when it fails.
BOOL ReadInto(HANDLE h, std::vector<uint8_t>& buf, DWORD& got, DWORD size = 0) {
  DWORD need = 0;
  SetLastError(kUnsetError);
  return ReadEventLogA(h, kForwards, 0, buf.data(), size ? size : static_cast<DWORD>(buf.size()), &got, &need);
}

class EventLogTest : public evt_test::SystemLogTest {};

struct RoundTripCase {
  const char* name;
  std::vector<EventInput> inputs;
  DWORD maxSize;
  bool oracle;  // evtexport reads this layout correctly
  std::function<void(std::string&)> patch;
  int records;   // how many come back; -1: all
  bool wrapped;  // the header says the log wrapped
};

TEST_F(EventLogTest, RoundTrip) {
  const RoundTripCase cases[] = {
      {"empty", {}, 512 * 1024, true, nullptr, 0, false},
      {"no sid, strings or data", {Event(1, 0, false, 0), Event(2, 0, false, 1), Event(3, 5, false, 0)}, 512 * 1024,
       true, nullptr, -1, false},
      // 45 records of about 2 KB in 64 KB: the oldest are overwritten, one is split at the end.
      {"split at the end of the file", Events(0, 45, 1900), 64 * 1024, true, nullptr, 32, true},
      {"0x27 filler before the end",
       [] {
         // Two records fill the file to 48 bytes before its end; the third moves to 0x30.
         std::vector<EventInput> v{Event(1, 0, false, 0), Event(2, 0, false, 0), Event(3)};
         v[0].source = v[1].source = "S";
         v[0].computer = v[1].computer = "C";
         v[0].data.assign(32652, 0x5A);
         v[1].data.assign(32652, 0xA5);
         return v;
       }(),
       64 * 1024, false,
       [](std::string& b) { ASSERT_EQ(LoadLe32(reinterpret_cast<const uint8_t*>(b.data()) + 65536 - 48), kFiller); },
       2, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    loc.maxSize = c.maxSize;
    loc.retention = 0;
    const std::vector<EventInput>& in = c.inputs;
    WriteChanged(in, c.patch);
    ASSERT_FALSE(HasFatalFailure());
    HANDLE h = OpenEventLogA("SRV1", "System");
    ASSERT_NE(h, nullptr);
    DWORD count = 99, oldest = 99;
    ASSERT_TRUE(GetNumberOfEventLogRecords(h, &count));
    ASSERT_TRUE(GetOldestEventLogRecord(h, &oldest));
    DWORD end = 0;
    std::vector<Rec> got = ReadAll(h, end);
    EXPECT_EQ(end, static_cast<DWORD>(ERROR_HANDLE_EOF));
    EXPECT_EQ(got.size(), count);
    ASSERT_LE(got.size(), in.size());
    // Wrapped logs keep the newest records.
    const size_t skipped = in.size() - got.size();
    if (!in.empty()) {
      EXPECT_EQ(oldest, got.empty() ? 0u : skipped + 1);
    }
    for (size_t i = 0; i < got.size(); ++i) ExpectSame(got[i], in[skipped + i], static_cast<DWORD>(skipped + i + 1));
    EXPECT_EQ(got.size(), c.records < 0 ? in.size() : static_cast<size_t>(c.records));
    EXPECT_EQ((Header().flags & kFlagWrap) != 0, c.wrapped);
    if (c.oracle && HaveTool("evtexport")) {
      auto oracle = Evtexport(Quoted(loc.file));
      ASSERT_EQ(oracle.size(), got.size());
      for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(oracle[i].number, got[i].number);
        EXPECT_EQ(oracle[i].source, got[i].source) << got[i].number;
        EXPECT_EQ(oracle[i].strings, got[i].strings) << got[i].number;
      }
    }
    EXPECT_TRUE(CloseEventLog(h));
  }
}

struct DamageCase {
  const char* name;
  std::function<void(uint8_t* rec)> damage;  // applied to the second record
};

TEST_F(EventLogTest, DamagedRecordAnswers1500AfterTheGoodOnes) {
  const DamageCase cases[] = {
      {"trailing length copy", [](uint8_t* r) { StoreLe32(r + LoadLe32(r) - 4, 0x1234); }},
      {"length far too large", [](uint8_t* r) { StoreLe32(r, 0x7FFFFFF0); }},
      {"length below the fixed part", [](uint8_t* r) { StoreLe32(r, 0x20); }},
      {"signature", [](uint8_t* r) { StoreLe32(r + 4, 0); }},
      {"record number", [](uint8_t* r) { StoreLe32(r + 8, 77); }},
      {"more strings than the record holds", [](uint8_t* r) { StoreLe16(r + 0x1A, 900); }},
      {"string offset inside the fixed part", [](uint8_t* r) { StoreLe32(r + 0x24, 0x10); }},
      {"sid beyond the record", [](uint8_t* r) { StoreLe32(r + 0x28, 0x10000); }},
      {"data offset beyond the record", [](uint8_t* r) { StoreLe32(r + 0x34, LoadLe32(r) - 2); }},
      {"unterminated source name", [](uint8_t* r) {
         for (uint32_t i = 0x38; i < LoadLe32(r) - 4; ++i) r[i] = 'A';
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteChanged({Event(1), Event(2), Event(3)}, [&](std::string& b) {
      auto* p = reinterpret_cast<uint8_t*>(b.data());
      c.damage(p + kHeaderSize + LoadLe32(p + kHeaderSize));
    });
    DWORD end = 0;
    std::vector<Rec> got = ReadLog("SRV1", end);
    EXPECT_EQ(end, static_cast<DWORD>(ERROR_EVENTLOG_FILE_CORRUPT));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].number, 1u);
  }
}

TEST_F(EventLogTest, DamagedHeaderFailsTheOpen) {
  const std::pair<const char*, std::function<void(std::string&)>> cases[] = {
      {"signature", [](std::string& b) { b[4] = 'X'; }},
      {"clean header disagreeing with the EOF record", [](std::string& b) {
         StoreLe32(reinterpret_cast<uint8_t*>(b.data()) + 0x18, 9);
       }},
      {"count larger than the records could be", [](std::string& b) {
         auto* p = reinterpret_cast<uint8_t*>(b.data());
         StoreLe32(p + 0x1C, 1);
         StoreLe32(p + 0x18, 5000);
         uint32_t end = LoadLe32(p + 0x14);
         StoreLe32(p + end + 0x1C, 5000);
         StoreLe32(p + end + 0x20, 1);
       }},
      {"shorter than a header", [](std::string& b) { b.resize(20); }},
  };
  for (const auto& [name, damage] : cases) {
    SCOPED_TRACE(name);
    WriteChanged({Event(1), Event(2)}, damage);
    SetLastError(kUnsetError);
    EXPECT_EQ(OpenEventLogA("SRV1", "System"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_EVENTLOG_FILE_CORRUPT));
  }
  EXPECT_EQ(LiveHandleCount(), 0u);
}

TEST_F(EventLogTest, BufferSizes) {
  ASSERT_EQ(Append({Event(1), Event(2), Event(3)}), 0u);
  const DWORD flags = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ;
  HANDLE probe = OpenEventLogA("SRV1", "System");
  DWORD size1 = 0, none = 1;  // the exact size of the first record in the A layout
  SetLastError(kUnsetError);
  EXPECT_FALSE(ReadEventLogA(probe, flags, 0, nullptr, 0, &none, &size1));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(none, 0u);
  CloseEventLog(probe);
  ASSERT_GT(size1, sizeof(EVENTLOGRECORD));
  struct Case {
    const char* name;
    DWORD size;
    bool ok;
    size_t records;
  } cases[] = {
      {"exactly one record", size1, true, 1},
      {"one byte short", size1 - 1, false, 0},
      {"one and a half", size1 + size1 / 2, true, 1},
      {"all", 3 * size1 + 64, true, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HANDLE h = OpenEventLogA("SRV1", "System");
    std::vector<uint8_t> buf(c.size + 16, 0xEE);
    DWORD got = 7, need = 7;
    SetLastError(kUnsetError);
    BOOL ok = ReadEventLogA(h, flags, 0, buf.data(), c.size, &got, &need);
    EXPECT_EQ(ok, c.ok ? TRUE : FALSE);
    if (!c.ok) {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
      EXPECT_EQ(need, size1);
      // The position is unchanged: a large enough buffer gets record 1.
      std::vector<uint8_t> big(size1);
      ASSERT_TRUE(ReadEventLogA(h, flags, 0, big.data(), size1, &got, &need));
      EXPECT_EQ(DecodeA(big.data(), got).number, 1u);
    } else {
      size_t n = 0;
      for (DWORD off = 0; off < got; off += LoadLe32(buf.data() + off)) {
        EXPECT_EQ(DecodeA(buf.data() + off, got - off).number, n + 1);
        ++n;
      }
      EXPECT_EQ(n, c.records);
      EXPECT_LE(got, c.size);
      EXPECT_EQ(buf[c.size], 0xEE);  // nothing written past the caller's size
    }
    CloseEventLog(h);
  }
}

TEST_F(EventLogTest, OnlySequentialForwardsReads) {
  ASSERT_EQ(Append({Event(1)}), 0u);
  HANDLE h = OpenEventLogA("SRV1", "System");
  std::vector<uint8_t> buf(4096);
  const DWORD seq = EVENTLOG_SEQUENTIAL_READ, seek = EVENTLOG_SEEK_READ, fwd = EVENTLOG_FORWARDS_READ,
              back = EVENTLOG_BACKWARDS_READ;
  for (DWORD flags : {0u, seq, fwd, seq | back, seek | fwd, seq | seek | fwd, seq | fwd | back, 0x10u | kForwards}) {
    DWORD got = 0, need = 0;
    SetLastError(kUnsetError);
    EXPECT_FALSE(ReadEventLogA(h, flags, 0, buf.data(), 4096, &got, &need)) << flags;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << flags;
  }
  DWORD got = 0, need = 0;
  SetLastError(kUnsetError);
  EXPECT_FALSE(ReadEventLogA(h, kForwards, 0, buf.data(), 4096, nullptr, &need));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  // A handle of another kind is refused, and the log stays open.
  SetLastError(kUnsetError);
  EXPECT_FALSE(FreeLibrary(reinterpret_cast<HMODULE>(h)));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
  EXPECT_TRUE(ReadInto(h, buf, got));
  CloseEventLog(h);
  EXPECT_FALSE(ReadInto(h, buf, got));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(CloseEventLog(h));
}

// The size a short read asks for is exactly the size then served, though UTF-8 and UTF-16 sizes differ.
TEST_F(EventLogTest, TextsBecomeUtf8AndOffsetsAreRebuilt) {
  EventInput in = Event(1, 5);
  in.source = "Dienst \xC3\xBC" "ber";  // ü: two bytes in UTF-8, one unit in UTF-16
  // euro signs (three bytes in UTF-8, two in UTF-16); a surrogate pair; empty
  in.strings = {"\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC 5", "\xF0\x9F\x98\x80", ""};
  ASSERT_EQ(Append({in}), 0u);
  HANDLE h = OpenEventLogA("SRV1", "System");
  DWORD got = 0, need = 0;
  std::vector<uint8_t> buf(4096);
  ASSERT_FALSE(ReadEventLogA(h, kForwards, 0, buf.data(), 8, &got, &need));
  buf.resize(need);  // the sanitizer sees a write past it
  ASSERT_TRUE(ReadInto(h, buf, got)) << GetLastError();
  EXPECT_EQ(got, need);
  EXPECT_EQ(got, LoadLe32(buf.data()));
  ExpectSame(DecodeA(buf.data(), got), in, 1);
  CloseEventLog(h);
  // A lone surrogate on disk becomes U+FFFD.
  std::string b = Bytes();
  auto* p = reinterpret_cast<uint8_t*>(b.data()) + kHeaderSize;
  StoreLe16(p + 0x38, 0xD800);
  Put(b);
  h = OpenEventLogA("SRV1", "System");
  ASSERT_TRUE(ReadInto(h, buf, got));
  EXPECT_EQ(DecodeA(buf.data(), got).source.substr(0, 3), "\xEF\xBF\xBD");
  CloseEventLog(h);
}

TEST_F(EventLogTest, OpenOutcomes) {
  platform::HostInfo off, denied, securityDenied;
  off.online = false;
  denied.deny = {"eventlog"};
  securityDenied.deny = {"eventlog:Security"};
  net.AddComputer("OFF", off);
  net.AddComputer("DENIED", denied);
  net.AddComputer("NOSEC", securityDenied);
  const std::tuple<const char*, const char*, DWORD> cases[] = {{"NOWHERE", "System", RPC_S_SERVER_UNAVAILABLE},
                                                               {"OFF", "System", RPC_S_SERVER_UNAVAILABLE},
                                                               {"DENIED", "System", ERROR_ACCESS_DENIED},
                                                               {"NOSEC", "security", ERROR_ACCESS_DENIED},
                                                               {"NOSEC", "System", ERROR_SUCCESS}};
  for (const auto& [computer, log, code] : cases) {
    SetLastError(kUnsetError);
    HANDLE h = OpenEventLogA(computer, log);
    EXPECT_EQ(h == nullptr ? GetLastError() : DWORD{ERROR_SUCCESS}, code) << computer << " " << log;
    if (h) CloseEventLog(h);
  }
  // A log without a file reads as empty and stays without one.
  HANDLE h = OpenEventLogA("\\\\srv1", "Security");
  ASSERT_NE(h, nullptr);
  DWORD count = 9, got = 0;
  EXPECT_TRUE(GetNumberOfEventLogRecords(h, &count));
  EXPECT_EQ(count, 0u);
  std::vector<uint8_t> buf(100);
  EXPECT_FALSE(ReadInto(h, buf, got));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_HANDLE_EOF));
  CloseEventLog(h);
  EXPECT_FALSE(std::filesystem::exists(net.network() + "/SRV1/C/WINNT/System32/config/SecEvent.Evt"));
  // An unknown log name is Application.
  EventLogLocation app;
  ASSERT_EQ(LocateEventLog("SRV1", "NoSuchLog", app), 0u);
  EXPECT_EQ(app.logName, "Application");
  EXPECT_EQ(app.file, net.network() + "/SRV1/C/WINNT/System32/config/AppEvent.Evt");
  EXPECT_EQ(LiveHandleCount(), 0u);
}

TEST_F(EventLogTest, ClearEmptiesTheLogAndRestartsNumbering) {
  ASSERT_EQ(Append({Event(1), Event(2), Event(3)}), 0u);
  HANDLE reader = OpenEventLogA("SRV1", "System");
  HANDLE h = OpenEventLogA("SRV1", "System");
  std::vector<uint8_t> buf(4096);
  DWORD got = 0, count = 0;
  ASSERT_TRUE(ReadInto(reader, buf, got, 200));
  ASSERT_TRUE(ClearEventLogA(h, nullptr));
  ASSERT_TRUE(GetNumberOfEventLogRecords(h, &count));
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(Bytes().size(), 65536u);
  // A handle that was reading the old file learns that it changed.
  EXPECT_FALSE(ReadInto(reader, buf, got));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_EVENTLOG_FILE_CHANGED));
  DWORD first = 0;
  ASSERT_EQ(AppendEventRecords(loc, {Event(9)}, &first), 0u);
  EXPECT_EQ(first, 1u);
  DWORD end = 0;
  auto after = ReadAll(h, end);
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(after[0].number, 1u);
  CloseEventLog(reader);
  CloseEventLog(h);

  platform::HostInfo info;
  info.deny = {"clear"};
  ASSERT_EQ(WriteHostInfo(net.network() + "/SRV1/host.ini", info), 0u);
  h = OpenEventLogA("SRV1", "System");
  SetLastError(kUnsetError);
  EXPECT_FALSE(ClearEventLogA(h, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  CloseEventLog(h);
}

TEST_F(EventLogTest, ClearWithBackupSavesTheLogWholeUnderTheSameLock) {
  const std::string saved = "\\\\SRV1\\ADMIN$\\System32\\config\\saved.evt";
  const std::string config = net.network() + "/SRV1/C/WINNT/System32/config";
  ASSERT_EQ(Append(Events(0, 50)), 0u);
  HANDLE h = OpenEventLogA("SRV1", "System");
  ASSERT_NE(h, nullptr);
  // A writer keeps appending while the log is saved and cleared: each of its records must end
  // up in exactly one of the two files.
  std::atomic<bool> stop{false}, ended{false};
  std::atomic<int> written{50};
  std::thread writer([&] {
    for (int i = 50; !stop && i < 50000; ++i)
      if (Append({Event(i)}) == 0) ++written;
    ended = true;
  });
  while (written < 300 && !ended) std::this_thread::yield();
  ASSERT_TRUE(ClearEventLogA(h, saved.c_str()));
  stop = true;
  writer.join();
  DWORD savedCount = 0, liveCount = 0, end = 0;
  HANDLE b = OpenBackupEventLogA("SRV1", saved.c_str());
  ASSERT_NE(b, nullptr) << GetLastError();
  ASSERT_TRUE(GetNumberOfEventLogRecords(b, &savedCount));
  ASSERT_TRUE(GetNumberOfEventLogRecords(h, &liveCount));
  EXPECT_EQ(savedCount + liveCount, static_cast<DWORD>(written.load()));
  auto kept = ReadAll(b, end);
  ASSERT_EQ(kept.size(), savedCount);
  EXPECT_EQ(end, static_cast<DWORD>(ERROR_HANDLE_EOF));
  for (DWORD i = 0; i < savedCount; ++i) ExpectSame(kept[i], Event(static_cast<int>(i)), i + 1);
  // A saved log is read only; the same name is refused, and the log then stays as it is.
  SetLastError(0xDEAD);
  EXPECT_FALSE(ClearEventLogA(b, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  ASSERT_EQ(Append({Event(1)}), 0u);
  EXPECT_FALSE(ClearEventLogA(h, saved.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  ASSERT_TRUE(GetNumberOfEventLogRecords(h, &end));
  EXPECT_EQ(end, liveCount + 1);
  CloseEventLog(b);
  CloseEventLog(h);
  for (const auto& entry : std::filesystem::directory_iterator(config))
    EXPECT_NE(entry.path().filename().string().rfind(".evt-", 0), 0u) << "left behind: " << entry.path();

  // A drive path names a file of the server; a missing file is one.
  HANDLE o = OpenBackupEventLogA("SRV1", "C:\\WINNT\\System32\\config\\saved.evt");
  EXPECT_NE(o, nullptr);
  CloseEventLog(o);
  SetLastError(0xDEAD);
  EXPECT_EQ(OpenBackupEventLogA("SRV1", "C:\\WINNT\\System32\\config\\none.evt"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(LiveHandleCount(), 0u);
}

// A full log overwrites its oldest record only as the retention allows: never (0xFFFFFFFF),
// once the oldest is exactly as old as the retention and not a second sooner, or always (0).
TEST_F(EventLogTest, FullLogHonoursRetention) {
  loc.maxSize = 64 * 1024;
  const struct {
    DWORD retention, age, expect;
  } cases[] = {{0xFFFFFFFF, 1000000, ERROR_LOG_FILE_FULL},
               {3600, 3599, ERROR_LOG_FILE_FULL},
               {3600, 3600, ERROR_SUCCESS},
               {0, 0, ERROR_SUCCESS}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.retention) + " " + std::to_string(c.age));
    std::remove(loc.file.c_str());
    loc.retention = c.retention;
    DWORD rc = ERROR_SUCCESS;
    int i = 0;
    for (; rc == ERROR_SUCCESS && i < 45; ++i) {  // 45 records of 1.5 KB: more than 64 KB
      EventInput e = Event(i, 1500);
      e.timeWritten = 1000000;
      rc = Append({e});
    }
    EXPECT_EQ(rc, c.retention == 0 ? DWORD{ERROR_SUCCESS} : DWORD{ERROR_LOG_FILE_FULL});
    EXPECT_EQ((Header().flags & kFlagLogFullWritten) != 0, rc == ERROR_LOG_FILE_FULL);
    EventInput late = Event(i, 1500);
    late.timeWritten = 1000000 + c.age;
    EXPECT_EQ(Append({late}), c.expect);
    EXPECT_EQ(Bytes().size(), 65536u);
    // Whatever happened, the file reads cleanly to its end.
    DWORD end = 0;
    EXPECT_FALSE(ReadLog("SRV1", end).empty());
    EXPECT_EQ(end, static_cast<DWORD>(ERROR_HANDLE_EOF));
  }
}

// A record larger than the whole log can never go in; refusing it must not cost the log its records.
TEST_F(EventLogTest, RecordLargerThanTheLogIsRefusedWithTheLogUntouched) {
  loc.maxSize = 512 * 1024;
  loc.retention = 0;
  ASSERT_EQ(Append(Events(0, 20, 30000)), 0u);  // the file grows to its limit
  struct Case {
    const char* what;
    std::vector<EventInput> batch;
  } cases[] = {
      {"alone", {Event(50, 600 * 1024)}},
      {"after one that fits", {Event(51), Event(52, 600 * 1024)}},
      {"just over", {Event(53, 512 * 1024 - kHeaderSize - kEofSize - 100)}},
  };
  for (const auto& c : cases) {
    const std::string before = Bytes();
    EXPECT_EQ(Append(c.batch), DWORD{ERROR_LOG_FILE_FULL}) << c.what;
    EXPECT_EQ(Bytes(), before) << c.what;
  }
  // A record that fills nearly the whole log still goes in (the margin allows for filler at the ring's end).
  const size_t fixed = BuildRecord(Event(54, 0), 0).size();
  EXPECT_EQ(Append({Event(54, 512 * 1024 - kHeaderSize - kEofSize - fixed - kFixedSize)}), 0u);
  EXPECT_EQ(Header().oldestRecordNumber, Header().currentRecordNumber - 1);
}

// A FIFO named like a log file would block an open for ever; it is no log.
TEST_F(EventLogTest, FifoInPlaceOfTheLogIsRefusedAtOnce) {
  ASSERT_EQ(::mkfifo(loc.file.c_str(), 0600), 0);
  ::alarm(20);  // a regression hangs; end it rather than the whole run
  SetLastError(kUnsetError);
  EXPECT_EQ(OpenEventLogA("SRV1", "System"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_EVENTLOG_FILE_CORRUPT});
  EXPECT_EQ(Append({Event(1)}), DWORD{ERROR_EVENTLOG_FILE_CORRUPT});
  DWORD newest = 0;
  EXPECT_EQ(NewestEventTime(loc, newest), DWORD{ERROR_EVENTLOG_FILE_CORRUPT});
  ::alarm(0);
}

TEST_F(EventLogTest, ReadingGoesOnAfterAppendsAndNoticesOverwrites) {
  loc.maxSize = 64 * 1024;
  loc.retention = 0;
  ASSERT_EQ(Append({Event(1), Event(2)}), 0u);
  HANDLE h = OpenEventLogA("SRV1", "System");
  DWORD end = 0;
  EXPECT_EQ(ReadAll(h, end).size(), 2u);
  ASSERT_EQ(Append({Event(3), Event(4)}), 0u);
  auto more = ReadAll(h, end);
  ASSERT_EQ(more.size(), 2u);
  EXPECT_EQ(more[0].number, 3u);
  // Wrap far past the reader's position.
  ASSERT_EQ(Append(Events(5, 200, 1000)), 0u);
  std::vector<uint8_t> buf(4096);
  DWORD got = 0;
  EXPECT_FALSE(ReadInto(h, buf, got));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_EVENTLOG_FILE_CHANGED));
  CloseEventLog(h);
}

TEST_F(EventLogTest, WriterAndReaderAtOnce) {
  loc.maxSize = 8 * 1024 * 1024;
  constexpr int kBatches = 60, kPerBatch = 20;
  std::atomic<bool> done{false};
  // A jthread: a failed assertion below returns early, and the writer is still joined.
  std::jthread writer([&] {
    for (int b = 0; b < kBatches; ++b) {
      std::vector<EventInput> v;
      for (int i = 0; i < kPerBatch; ++i) v.push_back(Event(b * kPerBatch + i, static_cast<size_t>(i * 13)));
      EXPECT_EQ(Append(v), 0u);
    }
    done = true;
  });
  HANDLE h = nullptr;
  while (!h) h = OpenEventLogA("SRV1", "System");
  DWORD expected = 1;
  std::vector<uint8_t> buf(3000);
  while (true) {
    const bool last = done;
    DWORD got = 0, need = 0;
    if (!ReadEventLogA(h, kForwards, 0, buf.data(), static_cast<DWORD>(buf.size()), &got, &need)) {
      DWORD e = GetLastError();
      ASSERT_TRUE(e == ERROR_HANDLE_EOF || e == ERROR_INSUFFICIENT_BUFFER) << e;
      if (e == ERROR_INSUFFICIENT_BUFFER) buf.resize(need);
      if (e == ERROR_HANDLE_EOF && last) break;
      continue;
    }
    for (DWORD off = 0; off < got; off += LoadLe32(buf.data() + off)) {
      Rec r = DecodeA(buf.data() + off, got - off);
      ASSERT_EQ(r.number, expected);
      ExpectSame(r, Event(static_cast<int>(expected - 1), (expected - 1) % kPerBatch * 13), expected);
      ++expected;
    }
  }
  writer.join();
  EXPECT_EQ(expected, static_cast<DWORD>(kBatches * kPerBatch + 1));
  CloseEventLog(h);
}

}  // namespace

#include "tests/platform/registry/registry_support.h"

namespace {

TEST(EventLogRegistryTest, TheRegistryNamesTheFileAndItsLimits) {
  TempNetwork net;
  platform::HostInfo info;
  info.deny = {"registry"};  // the remote registry is refused; the event log service is not
  std::string config = AddImageWithHives(net, "SRV2", info);
  ComputerImage srv;
  ASSERT_EQ(FindComputer("SRV2", srv), 0u);
  const std::string logs = "SYSTEM\\ControlSet001\\Services\\EventLog\\";
  ASSERT_EQ(WriteImageValue(srv, "SYSTEM\\Select", "Current", DwordValue(1), true), 0u);
  ASSERT_EQ(WriteImageValue(srv, logs + "System", "File",
                            StringValue(REG_EXPAND_SZ, "%SystemRoot%\\system32\\CONFIG\\Other.evt"), true), 0u);
  ASSERT_EQ(WriteImageValue(srv, logs + "System", "MaxSize", DwordValue(131072)), 0u);
  ASSERT_EQ(WriteImageValue(srv, logs + "System", "Retention", DwordValue(0)), 0u);
  ASSERT_EQ(WriteImageValue(srv, logs + "Application", "File",
                            StringValue(REG_SZ, "C:\\WINNT\\System32\\config\\App.evt"), true), 0u);
  ASSERT_EQ(WriteImageValue(srv, logs + "Directory Service", "Retention", DwordValue(5), true), 0u);
  ASSERT_EQ(WriteImageValue(srv, logs + "Escape", "File", StringValue(REG_SZ, "C:\\..\\..\\outside.evt"), true), 0u);

  struct Case {
    const char* log;
    DWORD rc;
    const char* opened;
    const char* file;
    DWORD maxSize, retention;
  } cases[] = {
      {"system", 0, "system", "/Other.evt", 131072, 0},
      {"Application", 0, "Application", "/App.evt", 512 * 1024, 7 * 86400},
      {"NoSuchLog", 0, "Application", "/App.evt", 512 * 1024, 7 * 86400},
      {"Security", 0, "Application", "/App.evt", 512 * 1024, 7 * 86400},  // no key on this computer
      {"System\\Foo", 0, "Application", "/App.evt", 512 * 1024, 7 * 86400},
      {"Directory Service", 0, "Directory Service", "/Directory Service.evt", 512 * 1024, 5},
      {"Escape", ERROR_ACCESS_DENIED, "", "", 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.log);
    EventLogLocation loc;
    ASSERT_EQ(LocateEventLog("SRV2", c.log, loc), c.rc);
    if (c.rc != 0) continue;
    EXPECT_EQ(loc.logName, c.opened);
    EXPECT_EQ(loc.file, config + c.file);
    EXPECT_EQ(loc.maxSize, c.maxSize);
    EXPECT_EQ(loc.retention, c.retention);
  }
  EventLogLocation sys;
  ASSERT_EQ(LocateEventLog("SRV2", "System", sys), 0u);
  ASSERT_EQ(AppendEventRecords(sys, {Event(1)}), 0u);
  HANDLE h = OpenEventLogA("SRV2", "System");
  ASSERT_NE(h, nullptr);
  DWORD count = 0;
  EXPECT_TRUE(GetNumberOfEventLogRecords(h, &count));
  EXPECT_EQ(count, 1u);
  CloseEventLog(h);
}

// Layouts our writer does not make on its own: small rings whose oldest record sits in the middle
// of the file (fuzz/corpus/fuzz_evt, see its .README).
TEST(EventLogLayoutTest, HandMadeRings) {
  const std::string corpus = TALLYARD_SOURCE_DIR "/fuzz/corpus/fuzz_evt/";
  const std::pair<const char*, DWORD> cases[] = {
      {"empty.evt", 0}, {"linear.evt", 3}, {"dirty.evt", 3}, {"split.evt", 4}, {"filler.evt", 4}};
  for (const auto& [name, expected] : cases) {
    SCOPED_TRACE(name);
    TempNetwork net;
    net.AddComputer("SRV1");
    TempNetwork::WriteFile(net.network() + "/SRV1/C/WINNT/System32/config/SysEvent.Evt",
                           TempNetwork::ReadFile(corpus + name));
    DWORD end = 0;
    std::vector<Rec> got = ReadLog("SRV1", end, 200);  // small buffers: one record per read
    EXPECT_EQ(end, static_cast<DWORD>(ERROR_HANDLE_EOF));
    ASSERT_EQ(got.size(), expected);
    for (DWORD i = 0; i < expected; ++i) {
      EXPECT_EQ(got[i].number, i + 1);
      EXPECT_EQ(got[i].id, 0xC0001B58u + i + 1);
      EXPECT_EQ(got[i].written, 1002 + i);
    }
  }
}

}  // namespace
