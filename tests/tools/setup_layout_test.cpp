// An installed tallyard-setup (any root, as a package unpacked anywhere) copies the help pages
// and the data-source manager that its own installation holds, and a copy whose installation
// lacks the pages says so: it never falls back on the build or the source tree.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/odbc_folder.h"
#include "tests/support/temp_network.h"
#include "tests/support/tool_run.h"

namespace {

namespace fs = std::filesystem;

TEST(SetupLayout, AnInstalledCopyTakesWhatItsInstallationHolds) {
  TempNetwork net;
  const std::string odbc = net.root() + "/odbc";
  if (!WriteOdbcDrivers(odbc)) GTEST_SKIP() << "the SQLite3 ODBC driver is not installed";
  const std::string manager = TALLYARD_BINARY_DIR "/programs/sourcewarden/sourcewarden";
  const struct {
    const char* what;
    const char* managerAt;  // below the root; "" for none
    bool pages;
    int exit;
    const char* said;
  } cases[] = {
      {"manager beside it", "usr/bin", true, 0, "install folder"},
      {"manager in libexec", "usr/libexec/tallyard", true, 0, "install folder"},
      {"no manager", "", true, 0, "sourcewarden is not installed beside tallyard-setup"},
      {"no help pages", "usr/bin", false, 1, "the help pages of this installation are missing"},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string root = net.root() + "/root" + std::to_string(++n), install = net.root() + "/install" + std::to_string(n);
    fs::create_directories(root + "/usr/bin");
    fs::copy_file(TALLYARD_BINARY_DIR "/tools/setup/tallyard-setup", root + "/usr/bin/tallyard-setup");
    if (*c.managerAt) {
      fs::create_directories(root + "/" + c.managerAt);
      fs::copy_file(manager, root + "/" + c.managerAt + "/sourcewarden");
    }
    if (c.pages) TempNetwork::WriteFile(root + "/usr/share/tallyard/help/index.html", "<p>this installation's</p>");
    std::string out;
    EXPECT_EQ(RunTool("ODBCSYSINI=" + Quoted(odbc) + " ODBCINI=" + Quoted(odbc + "/odbc.ini") + " " +
                          Quoted(root + "/usr/bin/tallyard-setup") + " --install " + Quoted(install),
                      &out),
              c.exit);
    EXPECT_NE(out.find(c.said), std::string::npos) << out;
    if (c.exit != 0) {
      EXPECT_FALSE(fs::exists(install));
      continue;
    }
    // The installation's pages, and only those: none from the sources.
    EXPECT_EQ(TempNetwork::ReadFile(install + "/help/index.html"), "<p>this installation's</p>");
    EXPECT_EQ(std::distance(fs::directory_iterator(install + "/help"), fs::directory_iterator()), 1);
    EXPECT_EQ(fs::exists(install + "/sourcewarden"), *c.managerAt != '\0');
  }
}

}  // namespace
