// tallyard-setup: what it creates, that a second run changes nothing, and that both programs
// start from what it leaves.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "frame/app_state.h"
#include "frame/run_log.h"
#include "frame/settings.h"
#include "platform/core/desktop.h"
#include "platform/registry/hive_file.h"
#include "platform/registry/registry.h"
#include "tests/support/temp_network.h"
#include "tests/support/tool_run.h"

namespace {

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

}  // namespace
