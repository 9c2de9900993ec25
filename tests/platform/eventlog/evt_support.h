// Shared pieces of the event log tests: a decoder of the records a read serves, and a computer
// with its System log.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/eventlog/eventlog.h"
#include "platform/eventlog/evt_format.h"
#include "tests/support/temp_network.h"

namespace evt_test {

using namespace platform;
using namespace platform::evt;

constexpr DWORD kForwards = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ;

struct Rec {
  DWORD number = 0, generated = 0, written = 0, id = 0;
  WORD type = 0, category = 0;
  std::string source, computer;
  std::vector<uint8_t> sid;
  std::vector<std::string> strings;
  std::vector<uint8_t> data;
};

// Decodes one record of the A layout, checking that every offset lies inside it.
inline Rec DecodeA(const uint8_t* p, DWORD available) {
  EVENTLOGRECORD e;
  std::memcpy(&e, p, sizeof e);
  EXPECT_LE(e.Length, available);
  EXPECT_EQ(e.Length % 4, 0u);
  EXPECT_EQ(LoadLe32(p + e.Length - 4), e.Length);
  EXPECT_EQ(e.Reserved, kSignature);
  Rec r{e.RecordNumber, e.TimeGenerated, e.TimeWritten, e.EventID, e.EventType, e.EventCategory, {}, {}, {}, {}, {}};
  const char* text = reinterpret_cast<const char*>(p);
  r.source = text + sizeof e;
  r.computer = text + sizeof e + r.source.size() + 1;
  EXPECT_EQ(e.UserSidOffset % 4, 0u);
  EXPECT_LE(e.UserSidOffset + e.UserSidLength, e.StringOffset);
  r.sid.assign(p + e.UserSidOffset, p + e.UserSidOffset + e.UserSidLength);
  size_t pos = e.StringOffset;
  for (WORD i = 0; i < e.NumStrings; ++i) {
    r.strings.emplace_back(text + pos);
    pos += r.strings.back().size() + 1;
  }
  EXPECT_EQ(pos, e.DataOffset);
  EXPECT_LE(e.DataOffset + e.DataLength + 4, e.Length);
  r.data.assign(p + e.DataOffset, p + e.DataOffset + e.DataLength);
  return r;
}

// Every record the handle still has, and the error that ended the reading.
inline std::vector<Rec> ReadAll(HANDLE h, DWORD& endError, DWORD bufferSize = 0x10000) {
  std::vector<Rec> out;
  std::vector<uint8_t> buf(bufferSize);
  while (true) {
    DWORD got = 0, need = 0;
    if (!ReadEventLogA(h, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, buf.data(), bufferSize, &got, &need)) {
      endError = GetLastError();
      return out;
    }
    for (DWORD off = 0; off < got;) {
      DWORD len = LoadLe32(buf.data() + off);
      out.push_back(DecodeA(buf.data() + off, got - off));
      if (len == 0) return out;
      off += len;
    }
  }
}

// Every record of a computer's System log through a handle of its own, and the error that ended
// the reading (the open's, when it failed).
inline std::vector<Rec> ReadLog(const char* computer, DWORD& end, DWORD bufferSize = 0x10000) {
  HANDLE h = OpenEventLogA(computer, "System");
  if (!h) {
    end = GetLastError();
    return {};
  }
  std::vector<Rec> out = ReadAll(h, end, bufferSize);
  CloseEventLog(h);
  return out;
}

class SystemLogTest : public ::testing::Test {
 public:
  void SetUp() override {
    net.AddComputer("SRV1");
    std::filesystem::create_directories(net.network() + "/SRV1/C/WINNT/System32/config");
    ASSERT_EQ(LocateEventLog("SRV1", "System", loc), 0u);
    ASSERT_EQ(loc.file, net.network() + "/SRV1/C/WINNT/System32/config/SysEvent.Evt");
  }
  DWORD Append(const std::vector<EventInput>& v) { return AppendEventRecords(loc, v); }
  std::string Bytes() const { return TempNetwork::ReadFile(loc.file); }
  void Put(const std::string& bytes) const { TempNetwork::WriteFile(loc.file, bytes); }
  FileHeader Header() const { return ReadHeader(reinterpret_cast<const uint8_t*>(Bytes().data())); }
  // A fresh log of `events` whose bytes `change` then alters.
  void WriteChanged(const std::vector<EventInput>& events, const std::function<void(std::string&)>& change) {
    std::remove(loc.file.c_str());
    ASSERT_EQ(Append(events), 0u);
    std::string b = Bytes();
    if (change) change(b);
    Put(b);
  }

  TempNetwork net;
  EventLogLocation loc;
};

}  // namespace evt_test
