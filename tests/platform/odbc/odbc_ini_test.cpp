// The ODBC files as unixODBC reads them, and data sources written and removed through its
// installer in a private ODBC folder.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/odbc/odbc_ini.h"

namespace {

using platform::DataSourceScope;
using platform::IniEntries;

std::string Read(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(OdbcIni, ParsesAsTheDriverManagerFindsEntries) {
  struct Case {
    const char* text;
    std::vector<std::pair<std::string, IniEntries>> sections;
  };
  const Case cases[] = {
      {"[A]\r\n Driver = SQLite3 \r\n; Database=/no\n# Database=/no\nDatabase=/a=b.db\nno equals sign\n",
       {{"A", {{"Driver", "SQLite3"}, {"Database", "/a=b.db"}}}}},
      // Before any section, a second section of a name and a second key: passed over.
      {"Port=1\n[ B ]\nPort=2\nport=3\n[b]\nPort=4\n[C]\n", {{"B", {{"Port", "2"}}}, {"C", {}}}},
      {"[]\nk=v\n[Open\nk=v\n=v\n", {{"Open", {{"k", "v"}}}}},
  };
  for (const Case& c : cases) {
    auto parsed = platform::ParseOdbcIni(c.text);
    std::vector<std::pair<std::string, IniEntries>> got;
    for (auto& s : parsed) got.emplace_back(s.name, s.entries);
    EXPECT_EQ(got, c.sections) << c.text;
  }
}

// The installer keeps the first ODBC folder it is given for the whole process.
class OdbcFiles : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char tmpl[] = "/tmp/tallyard-odbc-XXXXXX";
    root = ::mkdtemp(tmpl);
    std::ofstream(root + "/odbcinst.ini") << Read("/etc/odbcinst.ini");
    ::setenv("ODBCSYSINI", root.c_str(), 1);
    ::setenv("ODBCINI", (root + "/user.ini").c_str(), 1);
  }
  static void TearDownTestSuite() { std::filesystem::remove_all(root); }
  static std::string root;
};
std::string OdbcFiles::root;

TEST_F(OdbcFiles, WrittenReplacedSeenAfterOthersChangeThemAndRemoved) {
  std::string error;
  platform::DataSourceEntry entry{"Events", DataSourceScope::User, "SQLite3", {{"Database", "/a.db"}, {"Timeout", "2000"}}};
  // Neither file exists yet: the installer's first write would fail without help.
  ASSERT_TRUE(platform::WriteDataSource(entry, &error)) << error;
  entry.scope = DataSourceScope::System;
  ASSERT_TRUE(platform::WriteDataSource(entry, &error)) << error;
  entry.attributes = {{"Database", "/b.db"}};
  ASSERT_TRUE(platform::WriteDataSource(entry, &error)) << error;
  auto sources = platform::ListDataSources();
  ASSERT_EQ(sources.size(), 2u);
  EXPECT_EQ(sources[0].scope, DataSourceScope::System);
  EXPECT_EQ(sources[0].attributes, entry.attributes);  // replaced, not added to
  EXPECT_EQ(sources[1].scope, DataSourceScope::User);
  EXPECT_EQ(sources[1].attributes, (IniEntries{{"Database", "/a.db"}, {"Timeout", "2000"}}));

  // Another program's change shows at once, though this process has read the file before.
  std::ofstream(root + "/user.ini") << "[Events]\nDriver=SQLite3\nDatabase=/c.db\n";
  EXPECT_EQ(platform::IniValue(platform::ListDataSources()[1].attributes, "Database"), "/c.db");

  ASSERT_TRUE(platform::RemoveDataSource("Events", DataSourceScope::User, &error)) << error;
  sources = platform::ListDataSources();
  ASSERT_EQ(sources.size(), 1u);
  EXPECT_EQ(sources[0].scope, DataSourceScope::System);
  EXPECT_FALSE(platform::RemoveDataSource("Events", DataSourceScope::User, &error));
  EXPECT_NE(error.find("there is no data source Events"), std::string::npos) << error;
}

TEST_F(OdbcFiles, DriversWithTheirLibraries) {
  auto drivers = platform::ListOdbcDrivers();
  auto find = [&](const char* name) -> const platform::OdbcDriver* {
    for (const auto& d : drivers)
      if (d.name == name) return &d;
    return nullptr;
  };
  const platform::OdbcDriver* sqlite3 = find("SQLite3");
  const platform::OdbcDriver* sqlite = find("SQLite");
  if (sqlite3 == nullptr || sqlite == nullptr) GTEST_SKIP() << "Debian's SQLite ODBC driver registrations are not here";
  EXPECT_TRUE(std::filesystem::exists(sqlite3->libraryPath)) << sqlite3->libraryPath;
  // Registered, but its library is not shipped.
  EXPECT_EQ(sqlite->libraryPath, "");
}

}  // namespace
