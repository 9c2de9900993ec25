// tallyard-setup refused or failing half-way: it says why and leaves the machine as it found it.
// The tests run as root, who may write anywhere; a path through a regular file is refused to
// root as well, so that is how an odbc.ini nobody can write is made.
#include <gtest/gtest.h>

#include <filesystem>

#include "frame/settings.h"
#include "platform/registry/hive_image.h"
#include "platform/registry/registry.h"
#include "tests/support/temp_network.h"
#include "tests/support/tool_run.h"

namespace {

namespace fs = std::filesystem;

const std::string kSetup = std::string(TALLYARD_BINARY_DIR) + "/tools/setup/tallyard-setup";

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

TEST(SetupUndo, ARefusedOrFailedRunLeavesWhatItFoundAndSaysWhy) {
  TempNetwork net;
  const std::string odbc = net.root() + "/odbc", drivers = odbc + "/odbcinst.ini";
  fs::create_directories(odbc);
  const std::string installed = TempNetwork::ReadFile("/etc/odbcinst.ini");
  if (installed.find("[SQLite3]") == std::string::npos) GTEST_SKIP() << "the SQLite3 ODBC driver is not installed";
  TempNetwork::WriteFile(drivers, installed);
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
