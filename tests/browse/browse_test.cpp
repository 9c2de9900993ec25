#include "browse/browse.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "browse/browse_ui.h"
#include "platform/core/threads.h"
#include "tests/support/temp_network.h"

namespace {

// The list as name, type text and image, one record a line, as the golden files hold it.
std::string Listing(const ComputerList& list) {
  std::string out;
  for (const auto& r : list) out += r.name + "\t" + r.typeText + "\t" + std::to_string(r.typeImage) + "\n";
  return out;
}

std::string Golden(const std::string& name) {
  return TempNetwork::ReadFile(TALLYARD_SOURCE_DIR "/tests/browse/golden/" + name + ".txt");
}

ComputerList ListOf(std::initializer_list<const char*> names) {
  ComputerList list;
  for (const char* n : names) list.Append(MakeRecordFromName(n));
  return list;
}

// Counts what the browse asks of the user interface, and checks at every bar step that the
// records before it have been waited for and that every thread was started before the first wait.
class CountingUi : public BrowseUi {
 public:
  struct Window : LoadingWindow {
    CountingUi* ui;
    explicit Window(CountingUi* u) : ui(u) {}
    void SetRange(size_t count) override { ui->range = static_cast<long>(count); }
    void Step() override {
      ASSERT_NE(ui->list, nullptr);
      const ComputerList& records = *ui->list;
      if (ui->steps == 0 && ui->expectAllStarted) {
        for (const auto& r : records) EXPECT_NE(r.lookupThreadId, 0u) << r.name << " started after a wait";
      }
      for (long i = 0; i <= ui->steps && i < static_cast<long>(records.Count()); ++i)
        EXPECT_EQ(records[static_cast<size_t>(i)].lookupThread, nullptr) << "step " << ui->steps;
      if (ui->closed) ADD_FAILURE() << "step after close";
      ++ui->steps;
    }
    void Close() override { ++ui->closed; }
  };
  std::unique_ptr<LoadingWindow> OpenLoadingWindow(HWND owner) override {
    ++opened;
    lastOwner = owner;
    return std::make_unique<Window>(this);
  }
  void ShowWaitCursor() override { ++waitCursors; }
  void RestoreCursor() override { ++restoredCursors; }

  const ComputerList* list = nullptr;
  bool expectAllStarted = false;
  int opened = 0, closed = 0, waitCursors = 0, restoredCursors = 0;
  long range = -1, steps = 0;
  HWND lastOwner = nullptr;
};

class BrowseTest : public ::testing::Test {
 protected:
  void SetUp() override { SetBrowseUi(&ui_); }
  void TearDown() override {
    SetBrowseUi(nullptr);
    platform::testing::FailThreadStarts(0);
    EXPECT_EQ(platform::testing::LiveNetBufferCount(), 0u);
  }
  platform::HostInfo Host(const char* version = "4.0", int busy = 0) {
    platform::HostInfo h;
    h.version = version;
    h.busy = busy;
    return h;
  }
  // LAB's NT computers (versions the major mask must cut), a LAN Manager box, one switched off,
  // and an NT workstation of another domain.
  void AddLab() {
    net_.Add("ADMINPC", "LAB", "workstation", Host());
    net_.Add("SRV1", "LAB", "server", Host("0x14.0"));
    net_.Add("PDC1", "LAB", "pdc", Host());
    net_.Add("BDC1", "LAB", "bdc", Host("3.51"));
    platform::HostInfo lanman = Host();
    lanman.type = 0x3;
    net_.Add("OLDBOX", "LAB", "workstation", lanman);
    platform::HostInfo off = Host();
    off.online = false;
    net_.Add("DARK", "LAB", "server", off);
    net_.Add("FARAWAY", "ELSEWHERE", "workstation", Host());
  }
  TempNetwork net_;
  CountingUi ui_;
};

SERVER_INFO_101 Info(DWORD type, DWORD major, DWORD minor, const char16_t* name = u"X") {
  return SERVER_INFO_101{500, reinterpret_cast<LMSTR>(const_cast<char16_t*>(name)), major, minor, type, nullptr};
}

TEST(DescribeServer, FirstMatchingRoleAndMaskedMajorVersion) {
  struct Case {
    DWORD type, major, minor;
    const char* text;
    int32_t image;
  } cases[] = {
      {0x9003, 4, 0, "Windows NT Server (4.0)", 3},
      {SV_TYPE_NT | SV_TYPE_DOMAIN_CTRL | SV_TYPE_SERVER_NT, 4, 0, "Windows NT Primary Domain Controller (4.0)", 1},
      {0x9013, 3, 51, "Windows NT Backup Domain Controller (3.51)", 2},
      {SV_TYPE_NT | SV_TYPE_DOMAIN_CTRL | SV_TYPE_DOMAIN_BAKCTRL, 4, 0, "Windows NT Primary Domain Controller (4.0)", 1},
      {0x1003, 0x14, 0, "Windows NT Workstation (4.0)", 4},
      {0x1003, 0xFFFFFFFF, 1381, "Windows NT Workstation (15.1381)", 4},
      {SV_TYPE_NT | SV_TYPE_SERVER, 4, 0, "Unknown", 0},  // NT with no role flag
      {0x900B & ~SV_TYPE_NT, 4, 0, "Unknown", 0},         // roles count only with the NT flag
  };
  for (const auto& c : cases) {
    ComputerRecord r = MakeRecordFromName("X");
    r.typeText = "stale";
    r.typeImage = 3;
    DescribeServer(Info(c.type, c.major, c.minor), r);
    EXPECT_EQ(r.typeText, c.text) << std::hex << c.type;
    EXPECT_EQ(r.typeImage, c.image) << std::hex << c.type;
  }
}

TEST(RecordFromServerInfo, NameCutToFifteenCharacters) {
  EXPECT_EQ(RecordFromServerInfo(Info(0x9003, 4, 0, u"ABCDEFGHIJKLMNOPQRS")).name, "ABCDEFGHIJKLMNO");
  EXPECT_EQ(RecordFromServerInfo(Info(0x1003, 4, 0, u"\\\\ODD")).name, "ODD");
}

TEST_F(BrowseTest, ListsTheNtComputersOfThisDomain) {
  AddLab();
  ComputerList list = ListOf({"LEFTOVER"});
  EXPECT_TRUE(BrowseNetwork(list));
  EXPECT_EQ(Listing(list), Golden("browse_lab"));
  EXPECT_EQ(ui_.waitCursors, 1);
  EXPECT_EQ(ui_.restoredCursors, 1);
  EXPECT_EQ(ui_.opened, 0);
}

TEST_F(BrowseTest, DomainOfOnlyNonNtComputersGivesAnEmptyList) {
  platform::HostInfo lanman = Host();
  lanman.type = SV_TYPE_WORKSTATION | SV_TYPE_SERVER;
  net_.Add("ADMINPC", "WFW", "workstation", lanman);
  net_.Add("DOS1", "WFW", "workstation", lanman);
  net_.Add("NTSRV", "OTHERNT", "server", Host());
  ComputerList list = ListOf({"LEFTOVER"});
  EXPECT_TRUE(BrowseNetwork(list));
  EXPECT_EQ(list.Count(), 0u);
}

TEST_F(BrowseTest, NoBrowserGivesAnEmptyList) {
  net_.Add("SRV1", "LAB", "server", Host());  // but this computer has no image
  ComputerList list = ListOf({"LEFTOVER"});
  EXPECT_TRUE(BrowseNetwork(list));
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_EQ(ui_.restoredCursors, 1);
}

// 101 entries of about 2 KB: more than twice the first buffer, less than four times.
TEST_F(BrowseTest, AnswerThatNeedsTwoDoublingsIsListedWhole) {
  platform::HostInfo wordy = Host();
  wordy.comment = std::string(1000, 'c');
  net_.Add("ADMINPC", "LAB", "workstation", wordy);
  std::vector<std::string> names = {"ADMINPC"};
  for (int i = 0; i < 100; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "WS%03d", i);
    net_.Add(name, "LAB", "workstation", wordy);
    names.push_back(name);
  }
  ComputerList list;
  BrowseNetwork(list);
  ASSERT_EQ(list.Count(), names.size());
  for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(list[i].name, names[i]);
}

TEST_F(BrowseTest, LookupTypesEveryRecordInParallelUnderTheLoadingWindow) {
  AddLab();
  ComputerList list = ListOf({"SRV1", "NOSUCH", "\\\\PDC1", "DARK", "srv1", "OLDBOX", "FARAWAY", "SRV1"});
  ui_.list = &list;
  ui_.expectAllStarted = true;
  const size_t handles = platform::LiveHandleCount();
  LookupComputerTypes(list, reinterpret_cast<HWND>(0x1234));
  EXPECT_EQ(Listing(list), Golden("lookup_lab"));
  EXPECT_EQ(ui_.opened, 1);
  EXPECT_EQ(ui_.lastOwner, reinterpret_cast<HWND>(0x1234));
  EXPECT_EQ(ui_.range, 8);
  EXPECT_EQ(ui_.steps, 8);
  EXPECT_EQ(ui_.closed, 1);
  for (const auto& r : list) EXPECT_EQ(r.lookupThread, nullptr);
  EXPECT_EQ(platform::LiveHandleCount(), handles);
}

TEST_F(BrowseTest, EmptyListShowsNoLoadingWindow) {
  ComputerList list;
  LookupComputerTypes(list, nullptr);
  EXPECT_EQ(ui_.opened, 0);
  EXPECT_EQ(ui_.steps, 0);
}

TEST_F(BrowseTest, ThreadThatCannotStartLeavesItsRecordUnknownAtOnce) {
  AddLab();
  ComputerList list = ListOf({"SRV1", "BDC1", "SRV1"});
  list[0].typeText = "Windows NT Server (4.0)";  // from an earlier look: must not survive
  list[0].typeImage = 3;
  ui_.list = &list;
  platform::testing::FailThreadStarts(1);
  LookupComputerTypes(list, nullptr);
  EXPECT_EQ(Listing(list), Golden("thread_fails"));
  EXPECT_EQ(ui_.steps, 3);
  EXPECT_EQ(ui_.closed, 1);
}

// The one slow test (about five seconds, named Slow so a quick run can leave it out with
// "ctest -E Slow"): ten busy answers use up every try, and the tries are half a second apart
// by design, so the time is what the test proves. Each lookup thread meets its computer's busy
// answers on its own, so the same name twice gives the same result twice.
TEST_F(BrowseTest, SlowNameBusyTenTimesStaysUnknownAfterAllTries) {
  net_.Add("BUSY10", "LAB", "server", Host("4.0", 10));
  net_.Add("BUSY9", "LAB", "bdc", Host("4.0", 9));
  net_.Add("SRV1", "LAB", "server", Host());
  ComputerList list = ListOf({"BUSY10", "BUSY9", "SRV1", "BUSY10", "BUSY9"});
  SetBrowseUi(nullptr);  // and without a window
  const auto start = std::chrono::steady_clock::now();
  LookupComputerTypes(list, nullptr);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(Listing(list), Golden("busy"));
  // Ten half-second pauses happened before giving up, and the lookups overlapped: one after
  // another they would take more than nineteen seconds.
  EXPECT_GE(elapsed, std::chrono::milliseconds(4900));
  EXPECT_LT(elapsed, std::chrono::seconds(12));
}

}  // namespace
