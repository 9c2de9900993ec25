// The settings store: what both programs load, default, save and check, read back from the
// local computer's hive.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <set>
#include <sstream>
#include <utility>

#include "frame/app_state.h"
#include "frame/run_log.h"
#include "frame/settings.h"
#include "platform/registry/hive_file.h"
#include "platform/registry/registry.h"
#include "tests/platform/registry/registry_support.h"
#include "tests/support/golden.h"

using namespace platform;

namespace {

const char kKey[] = "SOFTWARE\\Quillon\\Tallyard\\CurrentVersion";
const char kPraxonKey[] = "SOFTWARE\\Quillon\\Tallyard\\CurrentVersion\\Praxon";

class SettingsTest : public ::testing::Test {
 public:
  TempNetwork net;
  ComputerImage local;

  void SetUp() override {
    std::string dir = net.AddComputer("ADMINPC");
    std::string config = dir + "/C/WINNT/System32/config";
    std::filesystem::create_directories(config);
    ASSERT_EQ(CreateHiveFile(config + "/SOFTWARE", 0600), 0u);
    ASSERT_EQ(FindComputer("ADMINPC", local), 0u);
    appState = AppState{}, runLog = RunLog{}, dataSourceSettings = DataSourceSettings{}, gatherSettings = GatherSettings{};
    policySettings = PolicySettings{};
  }
  void TearDown() override { CloseRunLog(runLog); }

  void Install(Program program, const std::string& installPath = "/opt/tallyard") {
    appState.program = program;
    ASSERT_EQ(WriteImageValue(local, Key(), "InstallPath", StringValue(REG_SZ, installPath), true), 0u);
  }
  const char* Key() const { return appState.program == Program::Praxon ? kPraxonKey : kKey; }
  void Put(const char* name, const RegistryValue& v) { ASSERT_EQ(WriteImageValue(local, Key(), name, v), 0u); }
  bool Has(const char* name) {
    RegistryValue v;
    return ReadImageValue(local, Key(), name, v) == 0;
  }
  // A new local computer for the next case of a table.
  void Fresh() {
    std::filesystem::remove_all(net.network() + "/ADMINPC");
    SetUp();
  }
};

// Every loaded value on one line each, to hold against a golden file.
std::string LoadedValues() {
  std::ostringstream o;
  const DataSourceSettings& d = dataSourceSettings;
  const GatherSettings& g = gatherSettings;
  o << "install=" << appState.installPath << "\nhelp=" << appState.helpFile << "\nlog=" << runLog.fileName
    << " level=" << runLog.level << " mode=" << runLog.mode << "\ndsn=" << d.dsn << " description=" << d.description
    << " missing=" << d.dataSourceMissing << " type=" << d.type << " user=" << d.user << " password=" << d.password
    << " regAccess=" << d.regAccess << "\ntimeOut=" << g.timeOut << " eraseLogs=" << g.eraseLogs
    << " period=" << g.transactionPeriod << " descriptions=" << g.loadDescriptions << "\npraxonTimeOut=" << praxonTimeOut
    << " auditing=" << policySettings.auditingMode << " choices=";
  for (int i = 0; i < kAuditCategoryCount; ++i)
    o << static_cast<int>(policySettings.successChoices[i]) << static_cast<int>(policySettings.failureChoices[i]);
  return o.str() + "\n";
}

// A fresh installation takes every default; an open run log is closed before its name changes.
TEST_F(SettingsTest, FreshInstallationsTakeEveryDefault) {
  for (Program p : {Program::Corvane, Program::Praxon}) {
    Fresh();
    Install(p, p == Program::Corvane ? "/opt/tallyard" : "C:\\Tallyard\\");
    runLog.fileName = net.root() + "/old.log";
    ASSERT_TRUE(OpenRunLog(runLog));
    policySettings.auditingMode = 0;  // Praxon's load sets its default again; Corvane's leaves it
    ASSERT_TRUE(LoadSettings());
    EXPECT_EQ(runLog.file, nullptr);
    const char* golden = p == Program::Corvane ? "corvane" : "praxon";
    EXPECT_EQ(LoadedValues(), TempNetwork::ReadFile(TALLYARD_SOURCE_DIR "/tests/frame/golden/defaults_" +
                                                    std::string(golden) + ".txt")) << golden;
  }
}

TEST_F(SettingsTest, LoadsAndChecksAsTheGoldenCasesSay) {
  for (const GoldenCase& c : ReadGolden("frame/golden/settings_load.txt")) {
    SCOPED_TRACE(c.name);
    Fresh();
    const std::string install = c.Get("install", c.Get("program"));
    if (install != "none") Install(install == "praxon" ? Program::Praxon : Program::Corvane, c.Get("path", "/opt/tallyard"));
    appState.program = c.Get("program") == "praxon" ? Program::Praxon : Program::Corvane;
    for (const std::string& put : c.All("put")) {
      const size_t a = put.find(' '), b = put.find(' ', a + 1);
      const std::string kind = put.substr(a + 1, b - a - 1), data = b == std::string::npos ? "" : put.substr(b + 1);
      Put(put.substr(0, a).c_str(), kind == "sz" ? StringValue(REG_SZ, data) : kind == "expand" ? StringValue(REG_EXPAND_SZ, data)
                                   : kind == "dword" ? DwordValue(std::stoul(data))
                                                     : RegistryValue{kind == "rawdword" ? REG_DWORD : REG_BINARY, data});
    }
    std::strcpy(dataSourceSettings.dsn, "stale");
    dataSourceSettings.type = 9;
    EXPECT_EQ(c.Has("check") ? CheckDataSource() : LoadSettings(), c.Number("loads") == 1);
    std::istringstream values(LoadedValues());
    const std::set<std::string> words{std::istream_iterator<std::string>(values), {}};
    for (const std::string& word : c.All("gives")) EXPECT_TRUE(words.count(word)) << word << " not in\n" << LoadedValues();
  }
}

TEST_F(SettingsTest, CorvaneSaveWritesItsValuesAndLeavesTheDataSourceAloneWithoutADsn) {
  Install(Program::Corvane);
  Put("DSN", StringValue(REG_SZ, "Old"));
  Put("Type", DwordValue(3));
  Put("Description", StringValue(REG_SZ, "Old driver"));
  ASSERT_TRUE(LoadSettings());
  dataSourceSettings.dsn[0] = '\0', dataSourceSettings.type = 9;
  std::strcpy(dataSourceSettings.description, "New driver");
  std::strcpy(dataSourceSettings.password, "p\xC3\xA4ss");
  gatherSettings.timeOut = 15, runLog.fileName = "/var/log/t\xC3\xA4llyard.log", runLog.level = ErrorLogOnly;
  ASSERT_TRUE(SaveSettings());
  const std::pair<const char*, std::string> stored[] = {
      {"DSN", "Old"}, {"Type", "3"}, {"Description", "Old driver"}, {"Password", "p\xC3\xA4ss"},
      {"LogFile", "/var/log/t\xC3\xA4llyard.log"}, {"LogFullErrorNo", "1"}, {"TimeOut", "15"},
      {"LoadDescriptions", "1"}};
  for (const auto& [name, text] : stored) EXPECT_EQ(ImageValueText(local, Key(), name), text) << name;
  // With a data source name, all three are written; a load gives back what was saved.
  std::strcpy(dataSourceSettings.dsn, "Corvane");
  ASSERT_TRUE(SaveSettings());
  const DataSourceSettings saved = std::exchange(dataSourceSettings, DataSourceSettings{});
  const GatherSettings savedGather = std::exchange(gatherSettings, GatherSettings{});
  ASSERT_TRUE(LoadSettings());
  EXPECT_EQ(std::memcmp(&saved, &dataSourceSettings, sizeof saved), 0);
  EXPECT_EQ(std::memcmp(&savedGather, &gatherSettings, sizeof savedGather), 0);
  EXPECT_EQ(runLog.fileName, "/var/log/t\xC3\xA4llyard.log");
}

// A write that fails stops the save: what comes before it is stored, nothing after it.
TEST_F(SettingsTest, SaveStopsAtTheFirstFailureInItsOrder) {
  for (const GoldenCase& c : ReadGolden("frame/golden/settings_save_order.txt")) {
    const std::vector<std::string> order = c.All("value");
    const Program p = c.name == "praxon" ? Program::Praxon : Program::Corvane;
    for (size_t failAt = 1; failAt <= order.size(); ++failAt) {
      Fresh();
      Install(p);
      ASSERT_TRUE(LoadSettings());
      std::strcpy(dataSourceSettings.dsn, "Corvane");
      platform::testing::FailHiveCommit(static_cast<int>(failAt));
      EXPECT_FALSE(SaveSettings());
      platform::testing::FailHiveCommit(0);
      for (size_t i = 0; i < order.size(); ++i)
        EXPECT_EQ(Has(order[i].c_str()), i + 1 < failAt) << order[i] << " with write " << failAt << " failing";
    }
  }
}

TEST_F(SettingsTest, SaveNeverCreatesTheKeyAndFailsWhereWritingIsDenied) {
  Install(Program::Praxon);
  ASSERT_TRUE(LoadSettings());
  ASSERT_EQ(ChangeImageKey(local, kPraxonKey, false, [](Hive& h, HiveNode n) { return h.DeleteKey(n); }), 0u);
  EXPECT_FALSE(SaveSettings());
  std::vector<std::string> left;
  ASSERT_EQ(ListImageSubkeys(local, kKey, left), 0u);
  EXPECT_TRUE(left.empty()) << "the key was created again";
  Install(Program::Praxon);
  HostInfo info;
  info.deny = {"registry-set"};
  ASSERT_EQ(WriteHostInfo(net.network() + "/ADMINPC/host.ini", info), 0u);
  EXPECT_TRUE(LoadSettings());
  EXPECT_FALSE(SaveSettings());
  EXPECT_FALSE(Has("LogFile"));
}

}  // namespace
