// tallyard-setup run as the program it is: what it creates, that a second run changes nothing
// and both programs start from what it leaves; the default database always and the data source
// only on request; an installed copy taking what its own installation holds; and a refused or
// failing run that says why and leaves the machine as it found it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "frame/app_state.h"
#include "frame/run_log.h"
#include "frame/settings.h"
#include "platform/core/desktop.h"
#include "platform/registry/hive_file.h"
#include "platform/registry/hive_image.h"
#include "platform/registry/registry.h"
#include "tests/platform/registry/registry_support.h"
#include "tests/support/odbc_folder.h"
#include "tests/support/temp_network.h"
#include "tests/support/tool_run.h"

namespace {

namespace fs = std::filesystem;

const std::string kSetup = std::string(TALLYARD_BINARY_DIR) + "/tools/setup/tallyard-setup";

class SetupTest : public ::testing::Test {
 protected:
  TempNetwork net;
  std::string install = net.root() + "/install";
  std::string Command(const std::string& extra = "") {
    return Quoted(kSetup) + " --network " + Quoted(net.network()) + " --computer ADMINPC --install " + Quoted(install) +
           " --domain LAB " + extra;
  }
  std::string Config() const { return net.network() + "/ADMINPC/C/WINNT/System32/config"; }
};

// A second run changes nothing; another install folder changes the SOFTWARE hive only.
TEST_F(SetupTest, RerunsChangeOnlyWhatDiffers) {
  std::string out;
  ASSERT_EQ(RunTool(Command(), &out), 0) << out;
  // The data-source manager is where Corvane starts it.
  ASSERT_EQ(RunTool(Quoted(install + "/sourcewarden") + " --version", &out), 0) << out;
  const auto first = TreeState(net.root());
  ASSERT_EQ(RunTool(Command(), &out), 0) << out;
  EXPECT_EQ(TreeState(net.root()), first);
  auto before = TreeState(net.network());
  install = net.root() + "/elsewhere";
  ASSERT_EQ(RunTool(Command(), &out), 0) << out;
  std::vector<std::string> changed;
  for (const auto& [path, state] : TreeState(net.network()))
    if (before[path] != state) changed.push_back(path);
  EXPECT_EQ(changed, std::vector<std::string>{"ADMINPC/C/WINNT/System32/config/SOFTWARE"});
}

TEST_F(SetupTest, ImageIsOwnerOnlyAndBothProgramsStartFromIt) {
  std::string out;
  ASSERT_EQ(RunTool(Command(), &out), 0) << out;
  struct stat st;
  for (const std::string& dir : {net.network() + "/ADMINPC", Config()}) {
    ASSERT_EQ(::stat(dir.c_str(), &st), 0) << dir;
    EXPECT_EQ(st.st_mode & 0777, 0700u) << dir;
  }
  for (const std::string& f : {Config() + "/SAM", Config() + "/SECURITY", Config() + "/SYSTEM",
                               net.network() + "/ADMINPC/host.ini"}) {
    ASSERT_EQ(::stat(f.c_str(), &st), 0) << f;
    EXPECT_EQ(st.st_mode & 0777, 0600u) << f;
  }
  // A later write keeps the hive closed.
  platform::ComputerImage local;
  ASSERT_EQ(platform::FindComputer("ADMINPC", local), 0u);
  ASSERT_EQ(platform::WriteImageValue(local, "SOFTWARE\\Quillon\\Tallyard\\CurrentVersion", "Password",
                                      platform::StringValue(REG_SZ, "secret")), 0u);
  ASSERT_EQ(::stat((Config() + "/SOFTWARE").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  for (Program p : {Program::Corvane, Program::Praxon}) {
    appState = AppState{};
    appState.program = p;
    ASSERT_TRUE(LoadSettings());
    EXPECT_EQ(appState.installPath, install);
    EXPECT_EQ(runLog.fileName, install + (p == Program::Praxon ? "/Praxon.log" : "/Tallyard.log"));
    // Every window's help finds its page.
    for (DWORD context : p == Program::Praxon ? std::vector<DWORD>{1011, 1012, 1013, 1014}
                                              : std::vector<DWORD>{1001, 1002, 1003, 1008})
      EXPECT_TRUE(std::filesystem::is_regular_file(platform::HelpPagePath(appState.helpFile.c_str(), context))) << context;
  }
  // Only InstallPath: every other value is the programs' default.
  std::vector<std::pair<std::string, platform::RegistryValue>> values;
  ASSERT_EQ(platform::ListImageValues(local, "SOFTWARE\\Quillon\\Tallyard\\CurrentVersion\\Praxon", values), 0u);
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(values[0].first, "InstallPath");
  // The image's hives are hostkit create's, read by both independent readers there; here the
  // value this program adds.
  if (RunTool("command -v hivexregedit") != 0) GTEST_SKIP() << "hivexregedit missing";
  ASSERT_EQ(RunTool("hivexregedit --export --unsafe-printable-strings " + Quoted(Config() + "/SOFTWARE") + " '\\Quillon'", &out), 0);
  EXPECT_NE(out.find("\"InstallPath\"=str(1):\"" + install + "\""), std::string::npos) << out;
}

TEST_F(SetupTest, BadCommandLinesChangeNothing) {
  for (const std::string& args : {std::string("--network"), std::string("--bogus"),
                                  " --network " + Quoted(net.network()) + " --install " + Quoted(install) + " --computer " + std::string(16, 'N'),
                                  " --network " + Quoted(net.network()) + " --install " + Quoted(install) + " --computer 'A/B'"}) {
    std::string out;
    EXPECT_EQ(RunTool(Quoted(kSetup) + " " + args, &out), 2) << args << ": " << out;
  }
  EXPECT_TRUE(std::filesystem::is_empty(net.network()));
  EXPECT_FALSE(std::filesystem::exists(install));
}

// The ODBC configuration is a private folder.
using SetupDataSource = SetupTest;
TEST_F(SetupDataSource, DatabaseAlwaysDataSourceOnRequest) {
  std::string odbc = net.root() + "/odbc";
  if (!WriteOdbcDrivers(odbc)) GTEST_SKIP() << "the SQLite3 ODBC driver is not installed";
  ScopedEnv sys("ODBCSYSINI", odbc), user("ODBCINI", odbc + "/user.ini");
  auto value = [&](const char* name) {
    platform::ComputerImage local;
    EXPECT_EQ(platform::FindComputer("ADMINPC", local), 0u);
    return ImageValueText(local, kCorvaneSettingsKey, name);
  };

  std::string out;
  ASSERT_EQ(RunTool(Command(), &out), 0) << out;
  EXPECT_TRUE(std::filesystem::exists(install + "/Tallyard.db"));
  EXPECT_EQ(TempNetwork::ReadFile(odbc + "/odbc.ini").find("[Corvane]"), std::string::npos);
  EXPECT_EQ(value("DSN"), "(missing)");  // the first interactive start creates it then

  for (int run = 0; run < 2; ++run) {  // a second run changes nothing
    ASSERT_EQ(RunTool(Command("--data-source"), &out), 0) << out;
    std::string ini = TempNetwork::ReadFile(odbc + "/odbc.ini");
    EXPECT_EQ(ini.find("[Corvane]"), ini.rfind("[Corvane]")) << ini;
    EXPECT_NE(ini.find("Database=" + install + "/Tallyard.db"), std::string::npos) << ini;
    EXPECT_EQ(value("DSN"), "Corvane");
    EXPECT_EQ(value("Type"), "1");
    EXPECT_EQ(value("Description"), "SQLite3");
    // Every value Go checks before a gather, or the window refuses what the unattended run does.
    EXPECT_EQ(value("RegAccess"), "0");
    for (const char* name : {"User", "Password"}) EXPECT_NE(value(name), "(missing)") << name;
  }
}

// An installed copy (any root, as a package unpacked anywhere) copies the help pages and the
// data-source manager its own installation holds; one whose installation lacks the pages says so:
// it never falls back on the build or the source tree.
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

// The names below `root`, the image's software keys and the install path its settings hold.
std::string State(const std::string& root) {
  std::string state;
  for (const auto& e : fs::recursive_directory_iterator(root)) state += e.path().string() + "\n";
  platform::ComputerImage image;
  if (platform::FindComputer("ADMINPC", image) != 0) return state;
  std::vector<std::string> keys;
  platform::ListImageSubkeys(image, "SOFTWARE", keys);
  for (const auto& k : keys) state += k + "\n";
  platform::RegistryValue v;
  if (platform::ReadImageValue(image, kCorvaneSettingsKey, "InstallPath", v) == 0)
    state += "InstallPath=" + platform::ValueText(v);
  return state;
}

// The tests run as root, who may write anywhere; a path through a regular file is refused to root
// as well, so that is how an odbc.ini nobody can write is made.
TEST(SetupUndo, ARefusedOrFailedRunLeavesWhatItFoundAndSaysWhy) {
  TempNetwork net;
  const std::string odbc = net.root() + "/odbc", drivers = odbc + "/odbcinst.ini";
  fs::create_directories(odbc);
  if (!WriteOdbcDrivers(odbc)) GTEST_SKIP() << "the SQLite3 ODBC driver is not installed";
  const std::string lab = net.root() + "/lab";
  auto setup = [&](const std::string& install, const char* more, const std::string& userIni = "/user.ini") {
    return "ODBCSYSINI=" + Quoted(odbc) + " ODBCINI=" + Quoted(odbc + userIni) + " " + Quoted(kSetup) + " --network " + Quoted(net.network()) + " --computer ADMINPC --install " +
           Quoted(lab + "/" + install) + " " + more;
  };
  struct Case {
    const char* what;
    std::string command;
    std::string reason;
  } cases[] = {
      {"no odbc.ini can be written",
       setup("install", "--data-source", "/odbcinst.ini/user.ini"),
       drivers + "/user.ini: Not a directory (nor to the system's " + odbc + "/odbc.ini: Not a directory)"},
      {"the database fails after the folders and keys were made", setup("in;stall", "--data-source"),
       "must not contain ';'"},
  };
  fs::create_symlink(drivers + "/odbc.ini", odbc + "/odbc.ini");
  for (int round = 0; round < 3; ++round) {
    // On a bare machine, with an image of this computer but no installation, after an installation.
    const std::string before = State(net.root());
    for (const Case& c : cases) {
      std::string out;
      EXPECT_EQ(RunTool(c.command, &out), 1) << c.what;
      EXPECT_NE(out.find(c.reason), std::string::npos) << c.what << ": " << out;
      EXPECT_EQ(State(net.root()), before) << c.what << " in round " << round;
    }
    platform::ImageSpec image;
    image.name = "ADMINPC";
    ASSERT_EQ(round == 0 ? platform::BuildComputerImage(image) : 0u, 0u);
    ASSERT_EQ(round == 1 ? RunTool(setup("install", ""), nullptr) : 0, 0);
  }
  // Written where it can be, the output names the file.
  fs::remove(odbc + "/odbc.ini");
  std::string out;
  ASSERT_EQ(RunTool(setup("install", "--data-source"), &out), 0) << out;
  EXPECT_NE(out.find(odbc + "/odbc.ini (a system data source"), std::string::npos) << out;
}

}  // namespace
