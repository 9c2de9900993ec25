// hostkit create and reg: images of every role, registry text in and out, broken files.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/registry/hive_file.h"
#include "platform/registry/hive_image.h"
#include "platform/registry/registry.h"
#include "tests/support/golden.h"
#include "tests/support/temp_network.h"
#include "tests/support/tool_run.h"

using namespace platform;

namespace {

const std::string kHostkit = std::string(TALLYARD_BINARY_DIR) + "/tools/hostkit/hostkit";

class HostkitRegTest : public ::testing::Test {
 protected:
  TempNetwork net;
  std::string Hk(const std::string& args) { return Quoted(kHostkit) + " " + args + " --network " + Quoted(net.network()); }
};

// Each role's image, as the keys the programs read show it: tools/golden/create/NAME.args are
// hostkit's arguments, NAME.reg the export of those keys afterwards.
TEST_F(HostkitRegTest, CreateBuildsEachRolesImage) {
  const char* keys[] = {"SYSTEM\\CurrentControlSet\\Control\\ProductOptions",
                        "SYSTEM\\CurrentControlSet\\Control\\ComputerName",
                        "SYSTEM\\CurrentControlSet\\Services\\EventLog",
                        "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                        "SECURITY\\Policy",
                        "SAM\\SAM\\Domains\\Account\\Users\\Names"};
  const std::string golden = TALLYARD_SOURCE_DIR "/tests/tools/golden/create/";
  const bool haveOracles = HaveTool("regfexport") && HaveTool("hivexregedit");
  std::vector<std::string> machineSids;
  for (const auto& entry : std::filesystem::directory_iterator(golden)) {
    if (entry.path().extension() != ".args") continue;
    const std::string name = entry.path().stem().string();
    SCOPED_TRACE(name);
    std::string args = TempNetwork::ReadFile(entry.path().string()), out, exported;
    args.erase(args.find_last_not_of('\n') + 1);
    ASSERT_EQ(RunTool(Hk(args), &out), 0) << out;
    for (const char* key : keys) {
      ASSERT_EQ(RunTool(Hk("reg export " + name + " " + Quoted(key)), &out), 0) << out;
      exported += out;
    }
    EXPECT_EQ(exported, TempNetwork::ReadFile(golden + name + ".reg"));
    ComputerImage image;
    ASSERT_EQ(FindComputer(name, image), 0u);
    // The independent readers must open every hive we build (checked where they are installed).
    for (const char* hive : {"SAM", "SECURITY", "SOFTWARE", "SYSTEM"}) {
      std::string file;
      ASSERT_EQ(ImageHiveFile(image, hive, file), 0u);
      EXPECT_EQ(CheckHiveFile(file), 0u) << hive;
      if (haveOracles) {
        EXPECT_EQ(RunTool("regfexport " + Quoted(file), &out), 0) << hive << ": " << out.substr(0, 200);
        EXPECT_EQ(RunTool("hivexregedit --export " + Quoted(file) + " '\\'", &out), 0) << hive;
      }
    }
    RegistryValue v;
    ASSERT_EQ(ReadImageValue(image, "SAM\\SAM\\Domains\\Account", "V", v), 0u);
    machineSids.push_back(v.data);
  }
  ASSERT_EQ(machineSids.size(), 4u);
  // Machine SIDs differ between computers.
  std::sort(machineSids.begin(), machineSids.end());
  EXPECT_EQ(std::unique(machineSids.begin(), machineSids.end()), machineSids.end());
}

// A host.ini's system root makes its folders inside the image's drive folder only: one that
// climbs out of it, or through a link out of it, is refused and nothing outside is made.
TEST_F(HostkitRegTest, SystemRootFoldersStayInsideTheImage) {
  const std::string outside = net.root() + "/outside";
  const struct {
    const char* name;
    const char* systemroot;
    bool made;
  } cases[] = {
      {"CLIMB1", "C:\\..\\..\\..\\outside\\x", false},
      {"CLIMB2", "C:\\WINNT\\..\\..\\..\\..\\outside", false},
      {"LINKED", "C:\\link\\x", false},
      {"DEEP", "C:\\Deep\\..\\Er", true},
  };
  std::filesystem::create_directories(outside);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HostInfo info;
    info.systemroot = c.systemroot;
    std::string dir = net.AddComputer(c.name, info);
    std::filesystem::create_directory_symlink(outside, dir + "/C/link");
    ImageSpec spec;
    spec.name = c.name;
    DWORD rc = BuildComputerImage(spec);
    EXPECT_EQ(rc == 0, c.made) << rc;
    EXPECT_TRUE(std::filesystem::is_empty(outside));
    EXPECT_EQ(std::filesystem::is_directory(dir + "/C/Er/System32/config"), c.made);
  }
}

// tools/golden/reg: NAME.reg imported, the key of NAME.key exported as NAME.exp, and that text
// imported elsewhere exports the same again.
TEST_F(HostkitRegTest, GoldenImportsAndExports) {
  const std::string golden = TALLYARD_SOURCE_DIR "/tests/tools/golden/reg/";
  int cases = 0, computer = 0;
  for (const auto& entry : std::filesystem::directory_iterator(golden)) {
    if (entry.path().extension() != ".reg") continue;
    const std::string name = entry.path().stem().string();
    SCOPED_TRACE(name);
    ++cases;
    std::string key = TempNetwork::ReadFile(golden + name + ".key"), expected = TempNetwork::ReadFile(golden + name + ".exp");
    key.erase(key.find_last_not_of('\n') + 1);
    std::string input = entry.path().string(), out;
    for (int pass = 0; pass < 2; ++pass) {
      const std::string target = "C" + std::to_string(++computer);
      ASSERT_EQ(RunTool(Hk("create " + target)), 0);
      ASSERT_EQ(RunTool(Hk("reg import " + target + " " + Quoted(input)), &out), 0) << out;
      ASSERT_EQ(RunTool(Hk("reg export " + target + " " + Quoted(key)), &out), 0) << out;
      EXPECT_EQ(out, expected) << "pass " << pass;
      input = golden + name + ".exp";
    }
  }
  EXPECT_EQ(cases, 5);
}

// Every refusal exits with its own code and says why, and changes nothing: a crash or a
// half-done change is no refusal.
TEST_F(HostkitRegTest, GoldenRefusals) {
  for (const char* name : {"SRV1", "WKS1", "ADMINPC"}) ASSERT_EQ(RunTool(Hk(std::string("create ") + name)), 0);
  const std::string file = net.root() + "/input";
  const auto before = TreeState(net.network());
  for (const GoldenCase& c : ReadGolden("tools/golden/refusals.txt")) {
    SCOPED_TRACE(c.name);
    TempNetwork::WriteFile(file, c.Get("file"));
    std::string args = c.Get("args"), out;
    if (auto at = args.find("{file}"); at != std::string::npos) args.replace(at, 6, Quoted(file));
    EXPECT_EQ(RunTool(Hk(args), &out), static_cast<int>(c.Number("code"))) << out;
    EXPECT_NE(out.find(c.Get("message")), std::string::npos) << out;
  }
  EXPECT_EQ(TreeState(net.network()), before);
}

}  // namespace
