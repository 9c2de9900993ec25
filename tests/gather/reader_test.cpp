// The event log reader over logs of computer images: opening and its failures, block reads with
// buffer growth, walking with the cancel flag, clearing and closing.
#include "gather/event_log_reader.h"

#include <gtest/gtest.h>

#include <cstring>

#include "frame/settings.h"
#include "frame/strings.h"
#include "tests/platform/registry/registry_support.h"

using namespace platform;

namespace {

EventInput Event(int i, size_t dataSize = 8) {
  EventInput in;
  in.source = "NetLogon";
  in.computer = "SRV1";
  in.timeGenerated = in.timeWritten = 1000000 + static_cast<DWORD>(i);
  in.eventId = 5719;
  in.strings = {"DOMAIN", "text " + std::to_string(i)};
  in.data.assign(dataSize, static_cast<uint8_t>(i));
  return in;
}

class ReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CancelRequested = 0;
    gatherSettings.loadDescriptions = 1;
    AddImageWithHives(net, "SRV1");
    ASSERT_EQ(FindComputer("SRV1", srv), 0u);
    ASSERT_EQ(WriteImageValue(srv, "SYSTEM\\Select", "Current", DwordValue(1), true), 0u);
    ASSERT_EQ(WriteImageValue(srv, "SYSTEM\\ControlSet001\\Services\\EventLog\\System\\NetLogon", "EventMessageFile",
                              StringValue(REG_EXPAND_SZ, "%SystemRoot%\\System32\\netmsg.dll"), true),
              0u);
    ASSERT_EQ(WriteImageValue(srv, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "SystemRoot",
                              StringValue(REG_SZ, "C:\\WINNT"), true),
              0u);
    ASSERT_EQ(LocateEventLog("SRV1", "System", loc), 0u);
  }
  void TearDown() override { EXPECT_EQ(LiveHandleCount(), handlesAtStart); }

  // Reads the whole log as the gather does and returns the record numbers walked.
  std::vector<DWORD> Gather(EventLogReader& reader) {
    std::vector<DWORD> numbers;
    reader.NewBuffer(10000);
    while (reader.processed < reader.recordCount) {
      if (!reader.ReadNext()) break;
      if (!reader.WalkBuffer([&](EventLogReader&, const EVENTLOGRECORD* r) {
            numbers.push_back(r->RecordNumber);
            return true;
          }))
        break;
    }
    return numbers;
  }

  TempNetwork net;
  ComputerImage srv;
  EventLogLocation loc;
  size_t handlesAtStart = LiveHandleCount();
};

TEST_F(ReaderTest, ReadsEveryRecordOldestFirst) {
  {
    EventLogReader empty(nullptr, "System");
    ASSERT_TRUE(empty.Open("SRV1"));
    EXPECT_EQ(empty.recordCount, 0u);
    EXPECT_NE(empty.resolver, nullptr);
  }
  std::vector<EventInput> v;
  for (int i = 0; i < 300; ++i) v.push_back(Event(i, static_cast<size_t>(i % 50)));
  ASSERT_EQ(AppendEventRecords(loc, v), 0u);
  EventLogReader reader(nullptr, "System");
  ASSERT_TRUE(reader.Open("SRV1"));
  EXPECT_EQ(reader.recordCount, 300u);
  ASSERT_NE(reader.resolver, nullptr);
  std::vector<DWORD> numbers = Gather(reader);
  ASSERT_EQ(numbers.size(), 300u);
  for (DWORD i = 0; i < 300; ++i) EXPECT_EQ(numbers[i], i + 1);
  EXPECT_EQ(reader.bufferSize, 10000u);  // never needed to grow
  reader.Close();
  reader.Close();  // harmless
  EXPECT_EQ(reader.logHandle, nullptr);
  EXPECT_EQ(reader.recordCount, 0u);
  EXPECT_EQ(reader.resolver, nullptr);
}

TEST_F(ReaderTest, RecordLargerThanTheBufferGrowsIt) {
  ASSERT_EQ(AppendEventRecords(loc, {Event(1), Event(2, 20000), Event(3)}), 0u);
  EventLogReader reader(nullptr, "System");
  ASSERT_TRUE(reader.Open("SRV1"));
  reader.NewBuffer(10000);
  ASSERT_TRUE(reader.ReadNext());
  EXPECT_EQ(reader.bufferSize, 10000u);
  std::vector<DWORD> lengths;
  auto collect = [&](EventLogReader&, const EVENTLOGRECORD* r) {
    lengths.push_back(r->Length);
    return true;
  };
  ASSERT_TRUE(reader.WalkBuffer(collect));
  ASSERT_EQ(lengths.size(), 1u);  // the large record did not fit behind the first
  ASSERT_TRUE(reader.ReadNext());  // 122, a buffer of exactly the record's size, and the record
  ASSERT_TRUE(reader.WalkBuffer(collect));
  ASSERT_EQ(lengths.size(), 2u);
  EXPECT_GT(lengths[1], 20000u);
  EXPECT_EQ(reader.bufferSize, lengths[1]);
  EXPECT_EQ(reader.bytesRead, lengths[1]);
  ASSERT_TRUE(reader.ReadNext());  // the buffer never shrinks
  EXPECT_EQ(reader.bufferSize, lengths[1]);
}

TEST_F(ReaderTest, OpenFailures) {
  platform::HostInfo off;
  off.online = false;
  net.AddComputer("OFF", off);
  platform::HostInfo denyLog;
  denyLog.deny = {"eventlog"};
  AddImageWithHives(net, "NOLOG", denyLog);
  platform::HostInfo denyRegistry;
  denyRegistry.deny = {"registry"};
  AddImageWithHives(net, "NOREG", denyRegistry);
  net.AddComputer("NOHIVES");
  struct Case {
    const char* computer;
    DWORD loadDescriptions;
    DWORD status;
    int32_t error;
  } cases[] = {
      {"OFF", 1, IDS_UNABLE_TO_OPEN_LOG, RPC_S_SERVER_UNAVAILABLE},
      {"NOWHERE", 1, IDS_UNABLE_TO_OPEN_LOG, RPC_S_SERVER_UNAVAILABLE},
      {"NOLOG", 1, IDS_UNABLE_TO_OPEN_LOG, ERROR_ACCESS_DENIED},
      {"NOREG", 1, IDS_REGISTRY_UNAVAILABLE, ERROR_ACCESS_DENIED},
      {"NOHIVES", 1, IDS_REGISTRY_UNAVAILABLE, ERROR_FILE_NOT_FOUND},
      // "Local Computer": the local registry is asked, and this one (ADMINPC) is not there.
      {"SRV1", 0, IDS_REGISTRY_UNAVAILABLE, ERROR_BAD_NETPATH},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.computer);
    gatherSettings.loadDescriptions = c.loadDescriptions;
    EventLogReader reader(nullptr, "System");
    EXPECT_FALSE(reader.Open(c.computer));
    EXPECT_EQ(reader.result.status, c.status);
    EXPECT_EQ(reader.result.errorCode, c.error);
    reader.Close();
  }
}

TEST_F(ReaderTest, CancelFlagAndConsumerStopTheWalk) {
  ASSERT_EQ(AppendEventRecords(loc, {Event(1), Event(2), Event(3)}), 0u);
  struct Case {
    const char* name;
    bool cancelBefore;
    int cancelInConsumerAt;  // 0: never
    int failAt;              // 0: never
    DWORD processed;
    DWORD status;
  } cases[] = {
      {"cancelled before the walk", true, 0, 0, 0, IDS_OPERATION_CANCELLED},
      {"cancelled during the first record", false, 1, 0, 1, IDS_OPERATION_CANCELLED},
      {"consumer fails on the second", false, 0, 2, 2, 0},
      {"no stop", false, 0, 0, 3, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CancelRequested = 0;
    EventLogReader reader(nullptr, "System");
    ASSERT_TRUE(reader.Open("SRV1"));
    reader.NewBuffer(10000);
    ASSERT_TRUE(reader.ReadNext());
    if (c.cancelBefore) CancelRequested = 1;
    DWORD seenProcessed = 0;
    int calls = 0;
    bool ok = reader.WalkBuffer([&](EventLogReader& r, const EVENTLOGRECORD*) {
      ++calls;
      seenProcessed = r.processed;  // counted before the consumer sees the record
      if (calls == c.cancelInConsumerAt) CancelRequested = 1;
      return calls != c.failAt;
    });
    EXPECT_EQ(ok, c.status == 0 && c.failAt == 0);
    EXPECT_EQ(reader.processed, c.processed);
    EXPECT_EQ(reader.result.status, c.status);
    if (calls > 0) {
      EXPECT_EQ(seenProcessed, static_cast<DWORD>(calls));
    }
  }
  CancelRequested = 0;
}

TEST_F(ReaderTest, LogChangedWhileReading) {
  std::vector<EventInput> v;
  for (int i = 0; i < 100; ++i) v.push_back(Event(i));
  ASSERT_EQ(AppendEventRecords(loc, v), 0u);
  // Records added after Open: reading stops at the count, but a block's records are all walked.
  {
    EventLogReader reader(nullptr, "System");
    ASSERT_TRUE(reader.Open("SRV1"));
    ASSERT_EQ(AppendEventRecords(loc, {Event(100), Event(101)}), 0u);
    std::vector<DWORD> numbers = Gather(reader);
    EXPECT_GE(numbers.size(), 100u);
    EXPECT_LE(numbers.size(), 102u);
    EXPECT_EQ(reader.processed, numbers.size());
  }
  // Cleared by someone else meanwhile: the next read fails and the log is reported unreadable.
  {
    EventLogReader reader(nullptr, "System");
    ASSERT_TRUE(reader.Open("SRV1"));
    reader.NewBuffer(10000);
    ASSERT_TRUE(reader.ReadNext());
    HANDLE other = OpenEventLogA("SRV1", "System");
    ASSERT_TRUE(ClearEventLogA(other, nullptr));
    CloseEventLog(other);
    EXPECT_FALSE(reader.ReadNext());
    EXPECT_EQ(reader.result.status, IDS_UNABLE_TO_READ_LOG);
    EXPECT_EQ(reader.result.errorCode, static_cast<int32_t>(ERROR_EVENTLOG_FILE_CHANGED));
  }
  // A log that holds fewer records than counted ends with 38.
  {
    EventLogReader reader(nullptr, "System");
    ASSERT_TRUE(reader.Open("SRV1"));
    reader.recordCount = 5;
    reader.NewBuffer(10000);
    EXPECT_FALSE(reader.ReadNext());
    EXPECT_EQ(reader.result.errorCode, static_cast<int32_t>(ERROR_HANDLE_EOF));
  }
}

TEST_F(ReaderTest, Clear) {
  ASSERT_EQ(AppendEventRecords(loc, {Event(1), Event(2)}), 0u);
  EventLogReader reader(nullptr, "System");
  ASSERT_TRUE(reader.Open("SRV1"));
  ASSERT_TRUE(reader.Clear());
  DWORD count = 9;
  ASSERT_TRUE(GetNumberOfEventLogRecords(reader.logHandle, &count));
  EXPECT_EQ(count, 0u);
  reader.Close();

  platform::HostInfo info;
  info.deny = {"clear"};
  ASSERT_EQ(WriteHostInfo(net.network() + "/SRV1/host.ini", info), 0u);
  ASSERT_TRUE(reader.Open("SRV1"));
  EXPECT_FALSE(reader.Clear());
  EXPECT_EQ(reader.result.status, IDS_UNABLE_TO_CLEAR_LOG);
  EXPECT_EQ(reader.result.errorCode, static_cast<int32_t>(ERROR_ACCESS_DENIED));
}

}  // namespace

namespace {

// A block whose record length would not move the walk on, or would leave the block, is refused
// rather than looped over or read past.
TEST(ReaderWalkTest, MalformedLengthStopsTheWalk) {
  CancelRequested = 0;
  for (DWORD length : {0u, 8u, 0x38u + 1000u}) {
    EventLogReader reader(nullptr, "System");
    reader.NewBuffer(0x100);
    std::memset(reader.buffer.get(), 0, 0x100);
    std::memcpy(reader.buffer.get(), &length, sizeof length);
    reader.bytesRead = 0x100;
    int calls = 0;
    EXPECT_FALSE(reader.WalkBuffer([&](EventLogReader&, const EVENTLOGRECORD*) { return ++calls > 0; })) << length;
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(reader.result.status, IDS_UNABLE_TO_READ_LOG);
    EXPECT_EQ(reader.result.errorCode, static_cast<int32_t>(ERROR_EVENTLOG_FILE_CORRUPT));
  }
}

}  // namespace
