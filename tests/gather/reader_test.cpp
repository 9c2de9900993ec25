// The event log reader over logs of computer images: opening and its failures, block reads with
// buffer growth, walking with the cancel flag, a log shorter than counted.
#include "gather/event_log_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "frame/settings.h"
#include "frame/strings.h"
#include "tests/platform/registry/registry_support.h"

using namespace platform;

namespace {

EventInput Event(int i, size_t dataSize = 8) {
  return {"NetLogon", "SRV1", 1000000u + i, 1000000u + i, 5719, EVENTLOG_INFORMATION_TYPE, 0, {},
          {"DOMAIN", "text " + std::to_string(i)}, std::vector<uint8_t>(dataSize, static_cast<uint8_t>(i))};
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
                              StringValue(REG_EXPAND_SZ, "%SystemRoot%\\System32\\netmsg.dll"), true), 0u);
    ASSERT_EQ(WriteImageValue(srv, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "SystemRoot",
                              StringValue(REG_SZ, "C:\\WINNT"), true), 0u);
    ASSERT_EQ(LocateEventLog("SRV1", "System", loc), 0u);
  }
  void TearDown() override {
    CancelRequested = 0;
    EXPECT_EQ(LiveHandleCount(), handlesAtStart);
  }

  // Reads the whole log as the gather does; the lengths of the records walked.
  std::vector<DWORD> Gather(EventLogReader& reader) {
    std::vector<DWORD> lengths;
    reader.NewBuffer(10000);
    while (reader.processed < reader.recordCount && reader.ReadNext())
      if (!reader.WalkBuffer([&](EventLogReader&, const EVENTLOGRECORD* r) {
            lengths.push_back(r->RecordNumber == lengths.size() + 1 ? r->Length : 0);  // 0: out of order
            return true;
          }))
        break;
    return lengths;
  }

  TempNetwork net;
  ComputerImage srv;
  EventLogLocation loc;
  size_t handlesAtStart = LiveHandleCount();
};

TEST_F(ReaderTest, ReadsEveryRecordOldestFirstGrowingTheBufferOnlyForALargeOne) {
  std::vector<EventInput> v;
  for (int i = 0; i < 300; ++i) v.push_back(Event(i, static_cast<size_t>(i % 50)));
  ASSERT_EQ(AppendEventRecords(loc, v), 0u);
  for (size_t total : {300u, 302u}) {
    EventLogReader reader(nullptr, "System");
    ASSERT_TRUE(reader.Open("SRV1"));
    EXPECT_EQ(reader.recordCount, total);
    ASSERT_NE(reader.resolver, nullptr);
    std::vector<DWORD> lengths = Gather(reader);
    ASSERT_EQ(lengths.size(), total);
    EXPECT_EQ(std::count(lengths.begin(), lengths.end(), 0u), 0);
    // A record larger than the buffer gets a buffer of exactly its size, which never shrinks.
    EXPECT_EQ(reader.bufferSize, total == 300 ? 10000u : lengths[300]);
    reader.Close();
    reader.Close();  // harmless
    EXPECT_EQ(reader.logHandle, nullptr);
    EXPECT_EQ(reader.resolver, nullptr);
    ASSERT_EQ(AppendEventRecords(loc, {Event(300, 20000), Event(301)}), 0u);
  }
}

TEST_F(ReaderTest, OpenFailures) {
  net.AddComputer("OFF", HostThat(false));
  AddImageWithHives(net, "NOLOG", HostThat(true, {"eventlog"}));
  AddImageWithHives(net, "NOREG", HostThat(true, {"registry"}));
  net.AddComputer("NOHIVES");
  const struct {
    const char* computer;
    DWORD loadDescriptions, status;
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
    gatherSettings.loadDescriptions = c.loadDescriptions;
    EventLogReader reader(nullptr, "System");
    EXPECT_FALSE(reader.Open(c.computer));
    EXPECT_EQ(std::pair(reader.result.status, reader.result.errorCode), std::pair(c.status, c.error)) << c.computer;
  }
}

TEST_F(ReaderTest, CancelFlagAndConsumerStopTheWalk) {
  ASSERT_EQ(AppendEventRecords(loc, {Event(1), Event(2), Event(3)}), 0u);
  const struct {
    bool cancelBefore;
    int cancelAt, failAt;  // the consumer's call that raises the flag, or fails; 0: none
    DWORD processed, status;
  } cases[] = {{true, 0, 0, 0, IDS_OPERATION_CANCELLED}, {false, 1, 0, 1, IDS_OPERATION_CANCELLED}, {false, 0, 2, 2, 0}, {false, 0, 0, 3, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.processed);
    CancelRequested = 0;
    EventLogReader reader(nullptr, "System");
    ASSERT_TRUE(reader.Open("SRV1"));
    reader.NewBuffer(10000);
    ASSERT_TRUE(reader.ReadNext());
    CancelRequested = c.cancelBefore;
    int calls = 0;
    bool ok = reader.WalkBuffer([&](EventLogReader& r, const EVENTLOGRECORD*) {
      EXPECT_EQ(r.processed, static_cast<DWORD>(++calls));  // counted before the consumer sees it
      if (calls == c.cancelAt) CancelRequested = 1;
      return calls != c.failAt;
    });
    EXPECT_EQ(ok, c.status == 0 && c.failAt == 0);
    EXPECT_EQ(std::pair(reader.processed, reader.result.status), std::pair(c.processed, c.status));
  }
}

// A log that holds fewer records than were counted (emptied since) ends the read as a failure.
// Cleared under the reader and a refused clear are the gather run's cases.
TEST_F(ReaderTest, FewerRecordsThanCountedFailTheRead) {
  EventLogReader reader(nullptr, "System");
  ASSERT_TRUE(reader.Open("SRV1"));
  reader.NewBuffer(10000);
  reader.recordCount = 5;
  EXPECT_FALSE(reader.ReadNext());
  EXPECT_EQ(std::pair(reader.result.status, reader.result.errorCode),
            std::pair(DWORD{IDS_UNABLE_TO_READ_LOG}, static_cast<int32_t>(ERROR_HANDLE_EOF)));
}

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
    EXPECT_EQ(std::pair(reader.result.status, reader.result.errorCode),
              std::pair(DWORD{IDS_UNABLE_TO_READ_LOG}, int32_t{ERROR_EVENTLOG_FILE_CORRUPT}));
  }
}

}  // namespace
