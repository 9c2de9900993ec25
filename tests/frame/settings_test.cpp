// The settings store: what both programs load, default, save and check, read back from the
// local computer's hive.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <optional>
#include <sstream>

#include "frame/app_state.h"
#include "frame/run_log.h"
#include "frame/settings.h"
#include "platform/registry/hive_file.h"
#include "platform/registry/registry.h"
#include "tests/platform/registry/registry_support.h"

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
    appState = AppState{};
    runLog = RunLog{};
    dataSourceSettings = DataSourceSettings{};
    gatherSettings = GatherSettings{};
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

TEST_F(SettingsTest, LoadFailsOnlyWithoutTheKeyOrItsInstallPath) {
  struct Case {
    Program program;
    const char* what;
    std::function<void(SettingsTest&)> setup;
    bool loads;
  } cases[] = {
      {Program::Corvane, "no key", [](SettingsTest&) {}, false},
      {Program::Praxon, "no key", [](SettingsTest&) {}, false},
      {Program::Praxon, "only Corvane's key",
       [](SettingsTest& t) { t.Install(Program::Corvane); }, false},
      {Program::Corvane, "InstallPath as an expandable string",
       [](SettingsTest& t) { t.Install(Program::Corvane); t.Put("InstallPath", StringValue(REG_EXPAND_SZ, "/x")); }, true},
      {Program::Praxon, "InstallPath as an expandable string",
       [](SettingsTest& t) { t.Install(Program::Praxon); t.Put("InstallPath", StringValue(REG_EXPAND_SZ, "/x")); }, false},
      {Program::Corvane, "InstallPath of 300 characters",
       [](SettingsTest& t) { t.Install(Program::Corvane, std::string(300, 'p')); }, false},
      {Program::Corvane, "every other value broken",
       [](SettingsTest& t) {
         t.Install(Program::Corvane);
         for (const char* n : {"LogFile", "DSN", "Description", "User", "Password"}) t.Put(n, RegistryValue{REG_BINARY, std::string(400, 'b')});
         for (const char* n : {"LogFullErrorNo", "TimeOut", "Type"}) t.Put(n, StringValue(REG_SZ, std::string(40, 's')));
       }, true},
  };
  for (const auto& c : cases) {
    Fresh();
    appState.program = c.program;
    c.setup(*this);
    appState.program = c.program;
    EXPECT_EQ(LoadSettings(), c.loads) << c.what;
  }
}

// The same stored values, read by each program's rule.
TEST_F(SettingsTest, CorvaneTakesWhatFitsAndPraxonWantsTheTypeAndSize) {
  struct Case {
    const char* what;
    RegistryValue stored;
    DWORD corvane, praxon;  // TimeOut afterwards
  } cases[] = {
      {"a DWORD", DwordValue(5), 5, 5},
      {"a string", StringValue(REG_SZ, "5"), 0x35, 60},  // Corvane takes the bytes "5\0\0\0"
      {"a two-byte DWORD", RegistryValue{REG_DWORD, std::string("\x07\x00", 2)}, 7, 60},
      {"eight bytes", RegistryValue{REG_BINARY, std::string(8, '\x01')}, 180, 60},
      {"binary of four bytes", RegistryValue{REG_BINARY, std::string("\x09\0\0\0", 4)}, 9, 60},
  };
  for (const auto& c : cases) {
    for (Program p : {Program::Corvane, Program::Praxon}) {
      Fresh();
      Install(p);
      Put("TimeOut", c.stored);
      ASSERT_TRUE(LoadSettings()) << c.what;
      EXPECT_EQ(p == Program::Praxon ? praxonTimeOut : gatherSettings.timeOut, p == Program::Praxon ? c.praxon : c.corvane)
          << c.what << (p == Program::Praxon ? " (Praxon)" : " (Corvane)");
    }
  }
}

TEST_F(SettingsTest, DataSourceNameLongerThan32ReadsEmptyWithoutCountingAsMissing) {
  struct Case {
    const char* what;
    std::optional<std::string> dsn;
    const char* loaded;
    DWORD missing;
  } cases[] = {
      {"absent", std::nullopt, "", 1},
      {"32 characters", std::string(32, 'd'), "dddddddddddddddddddddddddddddddd", 0},
      {"33 characters", std::string(33, 'd'), "", 0},
      {"empty", std::string(), "", 0},
  };
  for (const auto& c : cases) {
    Fresh();
    Install(Program::Corvane);
    if (c.dsn) Put("DSN", StringValue(REG_SZ, *c.dsn));
    std::strcpy(dataSourceSettings.dsn, "stale");
    ASSERT_TRUE(LoadSettings());
    EXPECT_STREQ(dataSourceSettings.dsn, c.loaded) << c.what;
    EXPECT_EQ(dataSourceSettings.dataSourceMissing, c.missing) << c.what;
  }
}

TEST_F(SettingsTest, AuditValuesKeepWhatIsStoredAsADwordOnly) {
  Install(Program::Praxon);
  Put("AuditingMode", DwordValue(0));
  Put("SystemSuccess", DwordValue(1));
  Put("SystemFailure", DwordValue(0));
  Put("LogonFailure", DwordValue(7));                       // kept: the run treats it as Unchanged
  Put("AccountManagementSuccess", StringValue(REG_SZ, "1"));  // not a DWORD: default
  ASSERT_TRUE(LoadSettings());
  EXPECT_EQ(policySettings.auditingMode, 0);
  EXPECT_EQ(policySettings.successChoices[0], AuditChoice::On);
  EXPECT_EQ(policySettings.failureChoices[0], AuditChoice::Off);
  EXPECT_EQ(static_cast<int32_t>(policySettings.failureChoices[1]), 7);
  EXPECT_EQ(policySettings.successChoices[6], AuditChoice::Unchanged);
}

TEST_F(SettingsTest, CorvaneSaveWritesItsValuesAndLeavesTheDataSourceAloneWithoutADsn) {
  Install(Program::Corvane);
  Put("DSN", StringValue(REG_SZ, "Old"));
  Put("Type", DwordValue(3));
  Put("Description", StringValue(REG_SZ, "Old driver"));
  ASSERT_TRUE(LoadSettings());
  dataSourceSettings.dsn[0] = '\0';
  dataSourceSettings.type = 9;
  std::strcpy(dataSourceSettings.description, "New driver");
  std::strcpy(dataSourceSettings.password, "p\xC3\xA4ss");
  gatherSettings.timeOut = 15;
  runLog.fileName = "/var/log/t\xC3\xA4llyard.log";
  runLog.level = ErrorLogOnly;
  ASSERT_TRUE(SaveSettings());
  const std::pair<const char*, std::string> stored[] = {
      {"DSN", "Old"}, {"Type", "3"}, {"Description", "Old driver"}, {"Password", "p\xC3\xA4ss"},
      {"LogFile", "/var/log/t\xC3\xA4llyard.log"}, {"LogFullErrorNo", "1"}, {"TimeOut", "15"},
      {"LoadDescriptions", "1"}};
  for (const auto& [name, text] : stored) EXPECT_EQ(ImageValueText(local, Key(), name), text) << name;
  // With a data source name, all three are written; a load gives back what was saved.
  std::strcpy(dataSourceSettings.dsn, "Corvane");
  ASSERT_TRUE(SaveSettings());
  const DataSourceSettings saved = dataSourceSettings;
  const GatherSettings savedGather = gatherSettings;
  dataSourceSettings = DataSourceSettings{};
  gatherSettings = GatherSettings{};
  ASSERT_TRUE(LoadSettings());
  EXPECT_EQ(std::memcmp(&saved, &dataSourceSettings, sizeof saved), 0);
  EXPECT_EQ(std::memcmp(&savedGather, &gatherSettings, sizeof savedGather), 0);
  EXPECT_EQ(runLog.fileName, "/var/log/t\xC3\xA4llyard.log");
}

// A write that fails stops the save: what comes before it is stored, nothing after it.
TEST_F(SettingsTest, SaveStopsAtTheFirstFailureInItsOrder) {
  const std::vector<std::string> corvane = {"LogFile", "LogFullErrorNo", "LogAppendOverwrite", "DSN", "Type",
                                            "Description", "User", "Password", "RegAccess", "TimeOut",
                                            "EraseLogs", "TransactionPeriod", "LoadDescriptions"};
  std::vector<std::string> praxon = {"LogFile", "LogFullErrorNo", "LogAppendOverwrite", "TimeOut", "AuditingMode"};
  for (const char* cat : {"System", "Logon", "ObjectAccess", "PrivilegeUse", "DetailedTracking", "PolicyChange",
                          "AccountManagement"}) {
    praxon.push_back(std::string(cat) + "Success");
    praxon.push_back(std::string(cat) + "Failure");
  }
  ASSERT_EQ(praxon.size(), 19u);
  for (Program p : {Program::Corvane, Program::Praxon}) {
    const auto& order = p == Program::Praxon ? praxon : corvane;
    for (size_t failAt : {size_t{1}, size_t{4}, order.size()}) {
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

TEST_F(SettingsTest, CheckDataSourceNeedsEveryValueButType) {
  const char* all[] = {"DSN", "Type", "Description", "User", "Password", "RegAccess"};
  for (const char* absent : all) {
    Fresh();
    Install(Program::Corvane);
    for (const char* n : all) {
      if (n == absent) continue;
      if (std::strcmp(n, "Type") == 0 || std::strcmp(n, "RegAccess") == 0) Put(n, DwordValue(4));
      else Put(n, StringValue(REG_SZ, std::string("v-") + n));
    }
    dataSourceSettings.type = 9;
    const bool ok = CheckDataSource();
    EXPECT_EQ(ok, std::strcmp(absent, "Type") == 0) << absent << " absent";
    if (ok) {
      EXPECT_EQ(dataSourceSettings.type, 1u);
      EXPECT_STREQ(dataSourceSettings.password, "v-Password");
      EXPECT_EQ(dataSourceSettings.regAccess, 4u);
    }
  }
}

}  // namespace
