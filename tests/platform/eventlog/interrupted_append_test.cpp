// A log stays readable whenever an append stops: after every single write of a batch the file is
// what a kill at that moment would leave, and it must read as the log before the batch or with
// whole chunks of it. A dirty log whose end record is lost serves the records that check out.
#include <unistd.h>

#include <algorithm>

#include "tests/platform/eventlog/evt_support.h"

using namespace evt_test;

namespace {

// Each record says which it is: "old-<i>" or "new-<i>", i its place in its own batch.
EventInput Tagged(const std::string& tag, int i, size_t data) {
  EventInput in;
  in.source = "Writer";
  in.computer = "SRV1";
  in.timeWritten = in.timeGenerated = 1000000 + static_cast<DWORD>(i);
  in.strings = {tag + "-" + std::to_string(i)};
  in.data.assign(data + static_cast<size_t>(i % 5) * 12, static_cast<uint8_t>(i));
  return in;
}

std::vector<EventInput> Batch(const std::string& tag, int count, size_t data) {
  std::vector<EventInput> v;
  for (int i = 0; i < count; ++i) v.push_back(Tagged(tag, i, data));
  return v;
}

struct Read {
  DWORD end = 0;  // the error that ended the reading
  std::vector<DWORD> numbers;
  std::vector<std::string> tags;
};

Read ReadLog() {
  Read r;
  for (const Rec& rec : evt_test::ReadLog("SRV1", r.end, 0x40000)) {
    r.numbers.push_back(rec.number);
    r.tags.push_back(rec.strings.empty() ? "" : rec.strings[0]);
  }
  return r;
}

class InterruptedAppendTest : public SystemLogTest {
 protected:
  void SetUp() override {
    SystemLogTest::SetUp();
    loc.retention = 0;
  }
  void TearDown() override { platform::testing::FailLogWritesAfter(-1); }
};

TEST_F(InterruptedAppendTest, EveryStopLeavesALogThatReads) {
  struct Case {
    const char* what;
    DWORD maxSize;
    int before;  // records already there
    int batch;
    size_t data;
  } cases[] = {
      {"new log", 64 * 1024, 0, 3, 40},
      {"linear", 64 * 1024, 3, 4, 40},
      {"grows mid-batch", 128 * 1024, 200, 120, 200},
      {"wraps, frees and splits", 64 * 1024, 260, 30, 200},
      {"wraps with other sizes", 64 * 1024, 300, 25, 150},
      {"batch larger than the log", 64 * 1024, 50, 700, 100},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    loc.maxSize = c.maxSize;
    std::remove(loc.file.c_str());
    if (c.before) {
      ASSERT_EQ(Append(Batch("old", c.before, c.data)), 0u);
    }
    const Read start = ReadLog();
    const std::string bytes = c.before ? Bytes() : std::string();
    const DWORD firstNew = start.numbers.empty() ? 1 : start.numbers.back() + 1;
    // The old records that the whole batch keeps are kept at every moment of it.
    ASSERT_EQ(Append(Batch("new", c.batch, c.data)), 0u);
    const Read done = ReadLog();
    const auto kept = std::count_if(done.numbers.begin(), done.numbers.end(), [&](DWORD n) { return n < firstNew; });
    bool completed = false;
    for (int writes = 0; !completed && writes < 5000; ++writes) {
      SCOPED_TRACE("after write " + std::to_string(writes));
      if (c.before) Put(bytes);
      else std::remove(loc.file.c_str());
      platform::testing::FailLogWritesAfter(writes);
      completed = Append(Batch("new", c.batch, c.data)) == ERROR_SUCCESS;
      platform::testing::FailLogWritesAfter(-1);
      const Read r = ReadLog();
      ASSERT_EQ(r.end, static_cast<DWORD>(ERROR_HANDLE_EOF));
      // Numbered one after the other; an old record keeps its text, a new one has its batch's.
      for (size_t i = 0; i < r.numbers.size(); ++i) {
        const DWORD n = r.numbers[i];
        ASSERT_EQ(n, r.numbers[0] + i);
        const std::string want = n < firstNew ? "old-" + std::to_string(n - 1) : "new-" + std::to_string(n - firstNew);
        ASSERT_EQ(r.tags[i], want) << n;
      }
      const auto old = std::count_if(r.numbers.begin(), r.numbers.end(), [&](DWORD n) { return n < firstNew; });
      ASSERT_GE(old, kept);
      // Before the batch lands the old log ends where it ended, less what the batch drops.
      if (static_cast<size_t>(old) == r.numbers.size() && old > 0) {
        ASSERT_EQ(r.numbers.back(), start.numbers.back());
      }
      if (completed) {
        ASSERT_EQ(r.numbers.back(), firstNew + static_cast<DWORD>(c.batch) - 1);
      }
    }
    EXPECT_TRUE(completed);
    // A log left by a stopped append takes the next one.
    ASSERT_EQ(Append(Batch("new", 1, c.data)), 0u);
  }
}

TEST_F(InterruptedAppendTest, ADirtyLogWithoutEndRecordServesItsWholeRecords) {
  struct Case {
    const char* what;
    std::function<void(uint8_t* file, uint32_t end, uint32_t lastRecord)> lose;
    DWORD records;
  } cases[] = {
      {"end record zeroed", [](uint8_t* p, uint32_t end, uint32_t) { std::memset(p + end, 0, kEofSize); }, 5},
      {"end record half overwritten by a record never finished",
       [](uint8_t* p, uint32_t end, uint32_t last) { std::memcpy(p + end, p + last, 0x20); }, 5},
      {"last record torn too", [](uint8_t* p, uint32_t end, uint32_t last) {
         std::memset(p + end, 0, kEofSize);
         StoreLe32(p + end - 4, 0xDEAD);
         (void)last;
       }, 4},
      {"nothing whole", [](uint8_t* p, uint32_t end, uint32_t) {
         std::memset(p + kHeaderSize, 0xEE, end + kEofSize - kHeaderSize);
       }, 0},
  };
  loc.maxSize = 64 * 1024;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::remove(loc.file.c_str());
    ASSERT_EQ(Append(Batch("old", 5, 30)), 0u);
    std::string b = Bytes();
    auto* p = reinterpret_cast<uint8_t*>(b.data());
    FileHeader h = ReadHeader(p);
    uint32_t last = h.startOffset;
    for (int i = 0; i < 4; ++i) last += LoadLe32(p + last);
    c.lose(p, h.endOffset, last);
    StoreLe32(p + 0x24, kFlagDirty);
    Put(b);
    const Read r = ReadLog();
    ASSERT_EQ(r.end, static_cast<DWORD>(ERROR_HANDLE_EOF));
    ASSERT_EQ(r.numbers.size(), c.records);
    for (size_t i = 0; i < r.numbers.size(); ++i) EXPECT_EQ(r.tags[i], "old-" + std::to_string(i));
    // The writer carries on behind them.
    ASSERT_EQ(Append(Batch("new", 2, 30)), 0u);
    EXPECT_EQ(ReadLog().numbers.size(), c.records + 2);
  }
}

TEST_F(InterruptedAppendTest, ALogThatDoesNotReadTakesNoAppend) {
  loc.maxSize = 64 * 1024;
  ASSERT_EQ(Append(Batch("old", 3, 10)), 0u);
  std::string b = Bytes();
  auto* p = reinterpret_cast<uint8_t*>(b.data());
  const uint32_t second = kHeaderSize + LoadLe32(p + kHeaderSize);
  StoreLe16(p + second + 0x1A, 900);  // more strings than the record holds
  Put(b);
  EXPECT_EQ(Append(Batch("new", 1, 10)), DWORD{ERROR_EVENTLOG_FILE_CORRUPT});
  EXPECT_TRUE(Bytes() == b) << "a log that does not read was written";
}

TEST_F(InterruptedAppendTest, AHardLinkedLogIsNotWrittenThrough) {
  loc.maxSize = 64 * 1024;
  ASSERT_EQ(Append(Batch("old", 2, 10)), 0u);
  const std::string outside = net.root() + "/outside.evt";
  ASSERT_EQ(::link(loc.file.c_str(), outside.c_str()), 0);
  const std::string before = TempNetwork::ReadFile(outside);
  EXPECT_EQ(Append(Batch("new", 1, 10)), DWORD{ERROR_ACCESS_DENIED});
  EXPECT_TRUE(TempNetwork::ReadFile(outside) == before) << "written through the second name";
}

}  // namespace
