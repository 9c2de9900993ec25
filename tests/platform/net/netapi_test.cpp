#include "platform/net/netapi.h"
#include "platform/core/text.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "tests/support/temp_network.h"

namespace {

std::u16string Wide(LPCWSTR w) { return w ? std::u16string(reinterpret_cast<const char16_t*>(w)) : u"(null)"; }
LPCWSTR W(const char16_t* s) { return reinterpret_cast<LPCWSTR>(s); }
LPWSTR MutableW(std::u16string& s) { return reinterpret_cast<LPWSTR>(s.data()); }

struct Listed {
  std::u16string name;
  DWORD type;
  bool operator==(const Listed&) const = default;
};

// The lab: five computers of LAB that answer, one switched off, one of another domain.
class NetApiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    net_.Add("ADMINPC", "LAB", "workstation");
    platform::HostInfo commented;
    commented.version = "3.51";
    commented.comment = "Salle café €";
    net_.Add("SRV1", "LAB", "server", commented);
    net_.Add("PDC1", "lab", "pdc");  // domains match without regard to case
    net_.Add("BDC1", "LAB", "bdc");
    platform::HostInfo old;
    old.type = 0x3;  // a LAN Manager machine: no NT flag
    net_.Add("OLD", "LAB", "workstation", old);
    platform::HostInfo off;
    off.online = false;
    net_.Add("OFF", "LAB", "server", off);
    net_.Add("FARAWAY", "ELSEWHERE", "server");
  }

  // Every entry of one complete answer, checking the buffer's layout on the way.
  std::vector<Listed> Enum(DWORD mask, LMCSTR domain = nullptr, LMCSTR server = nullptr,
                           NET_API_STATUS expect = NERR_Success) {
    LPBYTE buffer = nullptr;
    DWORD read = 99, total = 99;
    NET_API_STATUS rc = NetServerEnum(server, 101, &buffer, MAX_PREFERRED_LENGTH, &read, &total, mask, domain, nullptr);
    EXPECT_EQ(rc, expect);
    std::vector<Listed> out;
    if (rc != NERR_Success) {
      EXPECT_EQ(buffer, nullptr);
      return out;
    }
    EXPECT_EQ(read, total);
    auto* info = reinterpret_cast<SERVER_INFO_101*>(buffer);
    // Strings live in the same allocation, after the array.
    auto* stringsStart = reinterpret_cast<const BYTE*>(info + read);
    for (DWORD i = 0; i < read; ++i) {
      EXPECT_EQ(info[i].sv101_platform_id, DWORD{PLATFORM_ID_NT});
      EXPECT_GE(reinterpret_cast<const BYTE*>(info[i].sv101_name), stringsStart);
      EXPECT_GT(reinterpret_cast<const BYTE*>(info[i].sv101_comment), reinterpret_cast<const BYTE*>(info[i].sv101_name));
      out.push_back({Wide(info[i].sv101_name), info[i].sv101_type});
    }
    EXPECT_EQ(NetApiBufferFree(buffer), NERR_Success);
    return out;
  }

  TempNetwork net_;
};

TEST_F(NetApiTest, ListsTheDomainInNameOrderWithTheRolesFlags) {
  const std::vector<Listed> all = {{u"ADMINPC", 0x1003}, {u"BDC1", 0x9013}, {u"OLD", 0x3},
                                   {u"PDC1", 0x900B},    {u"SRV1", 0x9003}};
  EXPECT_EQ(Enum(SV_TYPE_ALL), all);
  EXPECT_EQ(Enum(0x1B), all);
  EXPECT_EQ(Enum(SV_TYPE_DOMAIN_CTRL), (std::vector<Listed>{{u"PDC1", 0x900B}}));
  EXPECT_EQ(Enum(SV_TYPE_DOMAIN_BAKCTRL), (std::vector<Listed>{{u"BDC1", 0x9013}}));
  EXPECT_EQ(Enum(SV_TYPE_SERVER_NT), (std::vector<Listed>{{u"BDC1", 0x9013}, {u"PDC1", 0x900B}, {u"SRV1", 0x9003}}));
  EXPECT_EQ(Enum(SV_TYPE_NT).size(), 4u);
  // Another domain by name, and the list as another computer of it sees it.
  EXPECT_EQ(Enum(SV_TYPE_ALL, W(u"elsewhere")), (std::vector<Listed>{{u"FARAWAY", 0x9003}}));
  EXPECT_EQ(Enum(SV_TYPE_ALL, nullptr, W(u"\\\\FARAWAY")), (std::vector<Listed>{{u"FARAWAY", 0x9003}}));
  EXPECT_TRUE(Enum(SV_TYPE_ALL, W(u"NOSUCH")).empty());
  // The browse list comes from a computer that answers.
  Enum(SV_TYPE_ALL, nullptr, W(u"\\\\OFF"), ERROR_BAD_NETPATH);
  Enum(SV_TYPE_ALL, nullptr, W(u"\\\\NOPE"), ERROR_BAD_NETPATH);
  EXPECT_EQ(platform::testing::LiveNetBufferCount(), 0u);
}

// Every preferred size answers with whole entries that begin the full list, and says
// ERROR_MORE_DATA exactly while some are left out.
TEST_F(NetApiTest, ShortPreferredSizeAnswersMoreDataWithAPrefix) {
  const std::vector<Listed> all = Enum(SV_TYPE_ALL);
  bool sawPartial = false;
  for (DWORD size = 0;; size += 8) {
    ASSERT_LT(size, 100000u);
    LPBYTE buffer = nullptr;
    DWORD read = 0, total = 0;
    NET_API_STATUS rc = NetServerEnum(nullptr, 101, &buffer, size, &read, &total, SV_TYPE_ALL, nullptr, nullptr);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(total, all.size());
    ASSERT_LE(read, total);
    auto* info = reinterpret_cast<SERVER_INFO_101*>(buffer);
    for (DWORD i = 0; i < read; ++i) EXPECT_EQ(Wide(info[i].sv101_name), all[i].name);
    NetApiBufferFree(buffer);
    if (rc == NERR_Success) {
      EXPECT_EQ(read, total);
      break;
    }
    ASSERT_EQ(rc, ERROR_MORE_DATA);
    if (read > 0) sawPartial = true;
  }
  EXPECT_TRUE(sawPartial);
  // A size that holds the first entries exactly gets them all.
  size_t exact = 0;
  for (const char* name : {"ADMINPC", "BDC1"}) {
    platform::ComputerImage c;
    ASSERT_EQ(platform::FindComputer(name, c), 0u);
    exact += platform::ServerInfo101Bytes(platform::ServerEntryOf(c.name, c.host));
  }
  LPBYTE buffer = nullptr;
  DWORD read = 0, total = 0;
  EXPECT_EQ(NetServerEnum(nullptr, 101, &buffer, static_cast<DWORD>(exact), &read, &total, SV_TYPE_ALL, nullptr, nullptr),
            DWORD{ERROR_MORE_DATA});
  EXPECT_EQ(read, 2u);
  NetApiBufferFree(buffer);
  EXPECT_EQ(platform::testing::LiveNetBufferCount(), 0u);
}

TEST_F(NetApiTest, BadArgumentsAreRefused) {
  LPBYTE buffer = nullptr;
  DWORD read = 0, total = 0;
  for (auto [level, out, rc] : {std::tuple{100u, &buffer, ERROR_INVALID_LEVEL}, {101u, nullptr, ERROR_INVALID_PARAMETER}})
    EXPECT_EQ(NetServerEnum(nullptr, level, out, MAX_PREFERRED_LENGTH, &read, &total, SV_TYPE_ALL, nullptr, nullptr), rc);
  std::u16string srv = u"\\\\SRV1";
  EXPECT_EQ(NetServerGetInfo(MutableW(srv), 102, &buffer), ERROR_INVALID_LEVEL);
  EXPECT_EQ(NetServerGetInfo(MutableW(srv), 101, nullptr), ERROR_INVALID_PARAMETER);
  // Only live buffers are freed.
  int local = 0;
  EXPECT_EQ(NetApiBufferFree(nullptr), NERR_Success);
  EXPECT_EQ(NetApiBufferFree(&local), ERROR_INVALID_PARAMETER);
  ASSERT_EQ(NetServerGetInfo(MutableW(srv), 101, &buffer), NERR_Success);
  EXPECT_EQ(NetApiBufferFree(buffer), NERR_Success);
  EXPECT_EQ(NetApiBufferFree(buffer), ERROR_INVALID_PARAMETER);
}

TEST_F(NetApiTest, GetInfoFindsComputersThatAnswer) {
  struct Case {
    const char16_t* server;  // null: this computer
    NET_API_STATUS rc;
    const char16_t* name = nullptr;
    DWORD type = 0, major = 0, minor = 0;
    const char16_t* comment = nullptr;
  } cases[] = {
      {u"\\\\SRV1", NERR_Success, u"SRV1", 0x9003, 3, 51, u"Salle café €"},
      {u"srv1", NERR_Success, u"SRV1", 0x9003, 3, 51, u"Salle café €"},  // the folder's spelling
      {u"\\\\OLD", NERR_Success, u"OLD", 0x3, 4, 0, u""},
      {nullptr, NERR_Success, u"ADMINPC", 0x1003, 4, 0, u""},
      {u"\\\\FARAWAY", NERR_Success, u"FARAWAY", 0x9003, 4, 0, u""},  // another domain still answers
      {u"\\\\OFF", ERROR_BAD_NETPATH},
      {u"\\\\NOPE", ERROR_BAD_NETPATH},
      {u"\\\\..", ERROR_BAD_NETPATH},
      {u"\\\\SRV1\\C$", ERROR_BAD_NETPATH},
  };
  for (const auto& c : cases) {
    std::u16string server = c.server ? c.server : u"";
    SCOPED_TRACE(std::string(server.begin(), server.end()));
    LPBYTE buffer = reinterpret_cast<LPBYTE>(&server);
    NET_API_STATUS rc = NetServerGetInfo(c.server ? MutableW(server) : nullptr, 101, &buffer);
    ASSERT_EQ(rc, c.rc);
    if (rc != NERR_Success) {
      EXPECT_EQ(buffer, nullptr);
      continue;
    }
    auto* info = reinterpret_cast<SERVER_INFO_101*>(buffer);
    EXPECT_EQ(Wide(info->sv101_name), c.name);
    EXPECT_EQ(Wide(info->sv101_comment), c.comment);
    EXPECT_EQ(std::tuple(info->sv101_type, info->sv101_version_major, info->sv101_version_minor),
              std::tuple(c.type, c.major, c.minor));
    NetApiBufferFree(buffer);
  }
  EXPECT_EQ(platform::testing::LiveNetBufferCount(), 0u);
}

// `busy` counts the calls of each thread: every thread meets the same busy answers first.
TEST_F(NetApiTest, BusyAnswersTheFirstCallsOfEachThread) {
  platform::HostInfo busy;
  busy.busy = 2;
  net_.Add("BUSY", "LAB", "server", busy);
  busy.busy = 1;
  net_.Add("BUSY1", "LAB", "server", busy);
  auto answers = [](const char16_t* name, int calls) {
    std::vector<NET_API_STATUS> out;
    std::u16string server = name;
    for (int i = 0; i < calls; ++i) {
      LPBYTE buffer = nullptr;
      out.push_back(NetServerGetInfo(MutableW(server), 101, &buffer));
      NetApiBufferFree(buffer);
    }
    return out;
  };
  const std::vector<NET_API_STATUS> twoBusy = {RPC_S_SERVER_TOO_BUSY, RPC_S_SERVER_TOO_BUSY, NERR_Success, NERR_Success};
  EXPECT_EQ(answers(u"\\\\BUSY", 4), twoBusy);
  // Another computer keeps a count of its own.
  EXPECT_EQ(answers(u"\\\\busy1", 2), (std::vector<NET_API_STATUS>{RPC_S_SERVER_TOO_BUSY, NERR_Success}));
  std::vector<NET_API_STATUS> other;
  std::thread([&] { other = answers(u"\\\\BUSY", 4); }).join();
  EXPECT_EQ(other, twoBusy);
  EXPECT_EQ(answers(u"\\\\BUSY", 1), std::vector<NET_API_STATUS>{NERR_Success});
  // The browse list is not held up by a busy computer.
  EXPECT_EQ(Enum(SV_TYPE_ALL).size(), 7u);
}

TEST(NetApiText, WideConversionsKeepCharactersAndMarkBadBytes) {
  EXPECT_EQ(platform::Utf8ToUtf16("A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), u"Aé€😀");
  EXPECT_EQ(platform::Utf8ToUtf16("a\xFF" "b\xC3"), u"a\uFFFDb\uFFFD");
  EXPECT_EQ(platform::Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // an encoded surrogate
  EXPECT_EQ(platform::Utf8ToUtf16("\xE0\x80\xAF"), u"\uFFFD\uFFFD\uFFFD");  // overlong
  const char16_t text[] = u"Aé😀\xD800z";
  EXPECT_EQ(platform::NetUtf8FromWide(W(text), 99), "A\xC3\xA9\xF0\x9F\x98\x80\xEF\xBF\xBDz");
  EXPECT_EQ(platform::NetUtf8FromWide(W(text), 2), "A\xC3\xA9");
  EXPECT_EQ(platform::NetUtf8FromWide(W(text), 3), "A\xC3\xA9\xEF\xBF\xBD");  // half a pair at the cut
}

TEST(NetApiVersion, VersionTextsRead) {
  struct Case {
    const char* text;
    DWORD major, minor;
  } cases[] = {{"3.51", 3, 51}, {"0x14.1", 0x14, 1}, {"5", 5, 0}, {"x.y", 0, 0}, {"-1.2", 0, 2}, {"99999999999.1", 0, 1}};
  for (const auto& c : cases) {
    DWORD major = 77, minor = 77;
    platform::ParseBrowseVersion(c.text, major, minor);
    EXPECT_EQ(major, c.major) << c.text;
    EXPECT_EQ(minor, c.minor) << c.text;
  }
}

}  // namespace
