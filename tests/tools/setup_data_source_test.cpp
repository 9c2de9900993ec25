// tallyard-setup: the default database in the install folder always; the data source and its
// settings only with --data-source. The ODBC configuration is a private folder.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "frame/settings.h"
#include "platform/registry/registry.h"
#include "tests/platform/registry/registry_support.h"
#include "tests/support/odbc_folder.h"
#include "tests/support/tool_run.h"

namespace {

const std::string kSetup = std::string(TALLYARD_BINARY_DIR) + "/tools/setup/tallyard-setup";
const char kKey[] = "SOFTWARE\\Quillon\\Tallyard\\CurrentVersion";

TEST(SetupDataSource, DatabaseAlwaysDataSourceOnRequest) {
  TempNetwork net;
  std::string odbc = net.root() + "/odbc";
  if (!WriteOdbcDrivers(odbc)) GTEST_SKIP() << "the SQLite3 ODBC driver is not installed";
  ScopedEnv sys("ODBCSYSINI", odbc), user("ODBCINI", odbc + "/user.ini");
  std::string install = net.root() + "/install";
  std::string command = Quoted(kSetup) + " --network " + Quoted(net.network()) + " --computer ADMINPC --install " +
                        Quoted(install);
  auto value = [&](const char* name) {
    platform::ComputerImage local;
    EXPECT_EQ(platform::FindComputer("ADMINPC", local), 0u);
    return ImageValueText(local, kKey, name);
  };

  std::string out;
  ASSERT_EQ(RunTool(command, &out), 0) << out;
  EXPECT_TRUE(std::filesystem::exists(install + "/Tallyard.db"));
  EXPECT_EQ(TempNetwork::ReadFile(odbc + "/odbc.ini").find("[Corvane]"), std::string::npos);
  EXPECT_EQ(value("DSN"), "(missing)");  // the first interactive start creates it then

  for (int run = 0; run < 2; ++run) {  // a second run changes nothing
    ASSERT_EQ(RunTool(command + " --data-source", &out), 0) << out;
    std::string ini = TempNetwork::ReadFile(odbc + "/odbc.ini");
    EXPECT_EQ(ini.find("[Corvane]"), ini.rfind("[Corvane]")) << ini;
    EXPECT_NE(ini.find("Database=" + install + "/Tallyard.db"), std::string::npos) << ini;
    EXPECT_EQ(value("DSN"), "Corvane");
    EXPECT_EQ(value("Type"), "1");
    EXPECT_EQ(value("Description"), "SQLite3");
  }
}

}  // namespace
