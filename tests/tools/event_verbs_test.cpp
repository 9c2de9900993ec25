// hostkit's event log verbs end to end: records written with "event" and "fill" come back from
// "events" one per line with escaped texts; "put" places files inside an image only; "list"
// and "remove" see and take away computers, and never what a link points at.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "tests/support/temp_network.h"
#include "tests/support/tool_run.h"

namespace {

const std::string kHostkit = TALLYARD_BINARY_DIR "/tools/hostkit/hostkit";

std::string Golden(const std::string& name) { return TempNetwork::ReadFile(TALLYARD_SOURCE_DIR "/tests/tools/golden/" + name); }

int Hostkit(const std::string& args, std::string& out) { return RunTool("(" + kHostkit + " " + args + " 2>/dev/null)", &out); }

class EventVerbsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    net.AddComputer("SRV1");
    std::filesystem::create_directories(net.network() + "/SRV1/C/WINNT/System32/config");
  }
  TempNetwork net;
};

TEST_F(EventVerbsTest, EventThenEvents) {
  std::string out;
  ASSERT_EQ(Hostkit("event SRV1 System --source 'Service Control Manager' --id 0xC0001B58 --type warning --category 3 "
                "--time-generated 1000 --time-written 1002 --user S-1-5-21-7-8-9-500 "
                "--string 'tab\there' --string 'line\r\nback\\slash' --data 00Ff7a",
                out),
            0);
  EXPECT_EQ(out, "1\n");
  ASSERT_EQ(Hostkit("event SRV1 System --source Bare --id 7 --computer OTHER --time-generated 5", out), 0);
  ASSERT_EQ(Hostkit("events SRV1 System", out), 0);
  EXPECT_EQ(out, Golden("events.txt"));  // tab-separated, the texts escaped
  // For a person: local times, the ID as Windows shows it, the SID no account answered, the texts.
  ASSERT_EQ(RunTool("TZ=Europe/Berlin " + kHostkit + " events srv1 system --readable", &out), 0) << out;
  EXPECT_EQ(out, Golden("events_readable.txt"));
}

// A full log takes what fits: the count said is the count the log holds, the reason is its
// size, and the size the log verb sets lets the rest in.
TEST(EventVerbsFullLogTest, FillSaysWhatWentInAndWhy) {
  TempNetwork net;
  std::string out;
  ASSERT_EQ(RunTool(kHostkit + " create srvf", &out), 0) << out;
  auto held = [&] {
    EXPECT_EQ(Hostkit("events SRVF System", out), 0);
    return TabLines(out).size();
  };
  std::string said;
  EXPECT_EQ(RunTool(kHostkit + " fill SRVF System --count 6000", &said), 1);
  const size_t first = held();
  EXPECT_GT(first, 1000u);
  EXPECT_LT(first, 6000u);  // more than one batch of the fill, and less than all
  EXPECT_NE(said.find("wrote " + std::to_string(first) + " of 6000 records: the System log of SRVF is full: it may grow "
                     "to 512 KiB and overwrites no record younger than 7 days"),
            std::string::npos)
      << said;
  ASSERT_EQ(RunTool(kHostkit + " log SRVF System --max-size 2M --retention never", &out), 0) << out;
  EXPECT_NE(out.find("max size   2 MiB\nretention  never overwrite"), std::string::npos) << out;
  EXPECT_EQ(RunTool(kHostkit + " fill SRVF System --count 3000", &out), 0) << out;
  EXPECT_EQ(held(), first + 3000);
}

TEST_F(EventVerbsTest, FillContinuesFromTheNewestRecord) {
  std::string out;
  ASSERT_EQ(Hostkit("fill SRV1 Application --count 300 --seed 7 --sources 5", out), 0);
  ASSERT_EQ(Hostkit("events SRV1 Application", out), 0);
  ASSERT_EQ(TabLines(out).size(), 300u);
  ASSERT_EQ(Hostkit("fill SRV1 Application --count 200 --seed 8", out), 0);
  ASSERT_EQ(Hostkit("events SRV1 Application", out), 0);
  auto lines = TabLines(out);
  ASSERT_EQ(lines.size(), 500u);
  std::set<std::vector<std::string>> distinct;
  std::set<std::string> sources;
  unsigned long last = 0, sameSecond = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    ASSERT_EQ(lines[i].size(), 11u);
    EXPECT_EQ(lines[i][0], std::to_string(i + 1));
    unsigned long written = std::stoul(lines[i][2]);
    EXPECT_GE(written, last);
    if (written == last) ++sameSecond;
    last = written;
    distinct.emplace(lines[i].begin() + 1, lines[i].end());  // all but the record number
    if (i < 300) sources.insert(lines[i][6]);
  }
  EXPECT_EQ(distinct.size(), 500u);  // no two alike
  EXPECT_EQ(sources.size(), 5u);
  EXPECT_GT(sameSecond, 100u);  // several records per second
}

// --describe shows what a gather does: over a registry it cannot read, no rows and a failure.
TEST_F(EventVerbsTest, DescribeWithoutARegistryFails) {
  std::string out;
  ASSERT_EQ(Hostkit("event SRV1 System --source Bare --id 7", out), 0);
  const std::string config = net.network() + "/SRV1/C/WINNT/System32/config/";
  const std::vector<std::string> hives[] = {{}, {"SYSTEM", "SOFTWARE"}};
  for (const auto& damaged : hives) {
    for (const auto& hive : damaged) TempNetwork::WriteFile(config + hive, "regf but nothing more");
    EXPECT_NE(RunTool(kHostkit + " events SRV1 System --describe 2>&1", &out), 0);
    EXPECT_EQ(out.rfind("hostkit: registry unavailable: ", 0), 0u) << out;
    EXPECT_NE(out.find("(error "), std::string::npos) << out;
  }
}

TEST_F(EventVerbsTest, PutStaysInsideTheImage) {
  std::string src = net.root() + "/msg.dll";
  TempNetwork::WriteFile(src, "MZ-bytes");
  std::string out;
  ASSERT_EQ(Hostkit("put SRV1 'C:\\WINNT\\system32\\New\\msg.dll' '" + src + "'", out), 0);
  EXPECT_EQ(TempNetwork::ReadFile(net.network() + "/SRV1/C/WINNT/System32/New/msg.dll"), "MZ-bytes");
  // A link in the image named like a temporary is not written through.
  const std::string outside = net.root() + "/outside.txt";
  TempNetwork::WriteFile(outside, "keep me");
  const std::string placed = net.network() + "/SRV1/C/WINNT/System32/New/msg.dll";
  std::filesystem::create_symlink(outside, placed + ".hostkit-tmp");
  TempNetwork::WriteFile(src, "MZ-new");
  ASSERT_EQ(Hostkit("put SRV1 'C:\\WINNT\\system32\\New\\msg.dll' '" + src + "'", out), 0) << out;
  EXPECT_EQ(TempNetwork::ReadFile(placed), "MZ-new");
  EXPECT_EQ(TempNetwork::ReadFile(outside), "keep me");
}

TEST(ComputerVerbsTest, ListAndRemove) {
  TempNetwork net;
  std::string out;
  ASSERT_EQ(RunTool(kHostkit + " create wks7 --role workstation --domain lab", &out), 0) << out;
  const std::string elsewhere = net.root() + "/elsewhere";
  std::filesystem::create_directories(elsewhere + "/C");
  TempNetwork::WriteFile(elsewhere + "/host.ini", "[host]\nrole = pdc\n[faults]\nonline = false\n");
  std::filesystem::create_directory_symlink(elsewhere, net.network() + "/LINKED");
  ASSERT_EQ(RunTool(kHostkit + " list", &out), 0) << out;
  EXPECT_EQ(out.substr(out.find('\n')),
            "\n\nName             Role         Domain           Version  State\n"
            "LINKED           pdc          -                4.0      switched off\n"
            "WKS7             workstation  LAB              4.0      on\n");
  ASSERT_EQ(RunTool(kHostkit + " remove linked", &out), 0) << out;
  ASSERT_EQ(RunTool(kHostkit + " remove Wks7", &out), 0) << out;
  EXPECT_TRUE(std::filesystem::is_empty(net.network()));
  EXPECT_TRUE(std::filesystem::exists(elsewhere + "/host.ini"));  // a link goes, not what it names
}

}  // namespace
