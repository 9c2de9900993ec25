#include "browse/browse.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>

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

platform::HostInfo Host(const char* version = "4.0", std::optional<DWORD> type = {}, bool online = true, int busy = 0) {
  platform::HostInfo h = HostThat(online);
  h.version = version;
  h.type = type;
  h.busy = busy;
  return h;
}

ComputerList ListOf(std::initializer_list<const char*> names) {
  ComputerList list;
  for (const char* n : names) list.Append(MakeRecordFromName(n));
  return list;
}

// What the browse asks of the user interface, in order: '+' '-' for the wait cursor, 'o' an
// opened loading window ('O' owned), 'r' its range set, '.' a step, 'c' its close. At every step the records
// up to it must have been waited for, and at the first every thread must have been started.
class RecordingUi : public BrowseUi {
 public:
  std::unique_ptr<LoadingWindow> OpenLoadingWindow(HWND parent) override {
    calls += parent == reinterpret_cast<HWND>(0x1234) ? 'O' : 'o';  // 'O': owned by the test's window
    struct Forward : LoadingWindow {
      RecordingUi* ui = nullptr;
      void SetRange(size_t n) override { ui->calls += 'r' + std::to_string(n); }
      void Step() override { ui->Step(); }
      void Close() override { ui->calls += 'c'; }
    };
    auto window = std::make_unique<Forward>();
    window->ui = this;
    return window;
  }
  void ShowWaitCursor() override { calls += '+'; }
  void RestoreCursor() override { calls += '-'; }
  void Step() {
    const size_t steps = static_cast<size_t>(std::count(calls.begin(), calls.end(), '.'));
    for (size_t i = 0; list && i < list->Count(); ++i) {
      EXPECT_TRUE(steps > 0 || (*list)[i].lookupThreadId != 0) << (*list)[i].name << " started after a wait";
      EXPECT_TRUE(i > steps || (*list)[i].lookupThread == nullptr) << (*list)[i].name << " not waited for at step " << steps;
    }
    calls += '.';
  }

  const ComputerList* list = nullptr;
  std::string calls;
};

class BrowseTest : public ::testing::Test {
 protected:
  void SetUp() override { SetBrowseUi(&ui_); }
  void TearDown() override {
    SetBrowseUi(nullptr);
    platform::testing::FailThreadStarts(0);
    EXPECT_EQ(platform::testing::LiveNetBufferCount(), 0u);
  }
  // LAB's NT computers (versions the major mask must cut, flags of two roles or of none), a LAN
  // Manager box, one switched off, an NT workstation of another domain.
  void AddLab() {
    const std::tuple<const char*, const char*, const char*, std::optional<DWORD>, bool> lab[] = {
        {"ADMINPC", "workstation", "4.0", {}, true},  {"SRV1", "server", "0x14.0", {}, true},
        {"PDC1", "pdc", "4.0", {}, true},             {"BDC1", "bdc", "3.51", {}, true},
        {"OLDBOX", "workstation", "4.0", 0x3, true}, {"DARK", "server", "4.0", {}, false},
        {"BOTHDC", "pdc", "4.0", SV_TYPE_NT | SV_TYPE_DOMAIN_CTRL | SV_TYPE_DOMAIN_BAKCTRL, true},
        {"NOROLE", "server", "4.0", SV_TYPE_NT | SV_TYPE_SERVER, true},
        {"WIDEVER", "workstation", "0xFFFFFFFF.1381", {}, true}};
    for (const auto& [name, role, version, type, online] : lab)
      net_.Add(name, "LAB", role, Host(version, type, online));
    net_.Add("FARAWAY", "ELSEWHERE", "workstation");
  }
  std::string Browse() {
    ComputerList list = ListOf({"LEFTOVER"});
    EXPECT_TRUE(BrowseNetwork(list));
    EXPECT_EQ(ui_.calls, "+-");
    ui_.calls.clear();
    return Listing(list);
  }
  TempNetwork net_;
  RecordingUi ui_;
};

TEST(RecordFromServerInfo, NameCutToFifteenCharacters) {
  for (auto [name, expected] : {std::pair{u"ABCDEFGHIJKLMNOPQRS", "ABCDEFGHIJKLMNO"}, {u"\\\\ODD", "ODD"}}) {
    SERVER_INFO_101 info{500, reinterpret_cast<LMSTR>(const_cast<char16_t*>(name)), 4, 0, 0x9003, nullptr};
    EXPECT_EQ(RecordFromServerInfo(info).name, expected);
  }
}

TEST_F(BrowseTest, ListsTheNtComputersOfThisDomainOrNone) {
  {
    TempNetwork wfw;  // a domain of LAN Manager boxes, beside an NT one: nothing to list
    for (const char* name : {"ADMINPC", "DOS1"}) wfw.Add(name, "WFW", "workstation", Host("4.0", 0x3));
    wfw.Add("NTSRV", "OTHERNT", "server");
    EXPECT_EQ(Browse(), "");
  }
  net_.Add("SRV1", "LAB", "server");  // but this computer has no image: no browser
  EXPECT_EQ(Browse(), "");
  // And a hundred more with long comments: about 2 KB an entry, an answer more than twice the
  // first buffer, less than four times.
  AddLab();
  platform::HostInfo wordy;
  wordy.comment = std::string(1000, 'c');
  for (int i = 100; i < 200; ++i) net_.Add("WS" + std::to_string(i), "LAB", "workstation", wordy);
  EXPECT_EQ(Browse(), Golden("browse_lab"));
}

TEST_F(BrowseTest, LookupTypesEveryRecordInParallelUnderTheLoadingWindow) {
  AddLab();
  ComputerList list;
  LookupComputerTypes(list, nullptr);
  EXPECT_EQ(ui_.calls, "") << "no window for an empty list";

  list = ListOf({"SRV1", "NOSUCH", "\\\\PDC1", "DARK", "srv1", "OLDBOX", "FARAWAY", "BOTHDC", "NOROLE", "SRV1"});
  ui_.list = &list;
  const size_t handles = platform::LiveHandleCount();
  LookupComputerTypes(list, reinterpret_cast<HWND>(0x1234));
  EXPECT_EQ(Listing(list), Golden("lookup_lab"));
  EXPECT_EQ(ui_.calls, "Or10..........c");
  EXPECT_EQ(platform::LiveHandleCount(), handles);

  // A thread that cannot start leaves its record Unknown at once, whatever an earlier look said.
  list = ListOf({"SRV1", "BDC1", "SRV1"});
  list[0].typeText = "Windows NT Server (4.0)";
  list[0].typeImage = 3;
  ui_.list = nullptr;
  ui_.calls.clear();
  platform::testing::FailThreadStarts(1);
  LookupComputerTypes(list, nullptr);
  EXPECT_EQ(Listing(list), Golden("thread_fails"));
  EXPECT_EQ(ui_.calls, "or3...c");
}

// Ten busy answers use up every try (half a second apart by design, so about five seconds:
// "ctest -E Slow" leaves it out); nine do not. Each lookup thread meets its computer's busy
// answers on its own, so the same name twice gives the same result twice.
TEST_F(BrowseTest, SlowNameBusyTenTimesStaysUnknownAfterAllTries) {
  net_.Add("BUSY10", "LAB", "server", Host("4.0", {}, true, 10));
  net_.Add("BUSY9", "LAB", "bdc", Host("4.0", {}, true, 9));
  net_.Add("SRV1", "LAB", "server");
  ComputerList list = ListOf({"BUSY10", "BUSY9", "SRV1", "BUSY10", "BUSY9"});
  SetBrowseUi(nullptr);  // and without a window
  LookupComputerTypes(list, nullptr);
  EXPECT_EQ(Listing(list), Golden("busy"));
}

}  // namespace
