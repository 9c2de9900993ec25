// The unattended run as a scheduler starts it: a run that cannot start says why and ends with
// a code that is not 0; a run killed outright at random moments, again and again, while new
// records come in, loses nothing and stores nothing twice, with and without clearing the logs.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>
#include <tuple>

#include "tests/support/gather_support.h"
#include "tests/support/odbc_folder.h"
#include "tests/support/temp_network.h"
#include "tests/support/tool_run.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
const std::string kBin = TALLYARD_BINARY_DIR;

// A network, an installation and an ODBC configuration of their own; every program runs with
// this environment.
class Installation {
 public:
  Installation(const std::string& root, const std::string& lab) : root_(root) {
    fs::create_directories(root + "/run");
    WriteOdbcDrivers(root + "/odbc");
    TempNetwork::WriteFile(root + "/odbc/odbc.ini", "");
    env_ = {"TALLYARD_NETWORK=" + root + "/network", "COMPUTERNAME=ADMINPC", "XDG_RUNTIME_DIR=" + root + "/run",
            "ODBCSYSINI=" + root + "/odbc", "ODBCINI=" + root + "/odbc/odbc.ini", "PATH=/usr/bin:/bin"};
    if (!lab.empty()) {
      TempNetwork::WriteFile(root + "/lab/lab.txt", lab);
      Expect(0, "hostkit lab", {kBin + "/tools/hostkit/hostkit", "lab", root + "/lab"});
    }
  }
  void Install(const std::string& settings = "") {
    Expect(0, "setup", {kBin + "/tools/setup/tallyard-setup", "--computer", "ADMINPC", "--install", root_ + "/install",
                        "--data-source"});
    TempNetwork::WriteFile(root_ + "/settings.reg",
                           "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillon\\Tallyard\\CurrentVersion]\n" + settings);
    Expect(0, "settings", {kBin + "/tools/hostkit/hostkit", "reg", "import", "ADMINPC", root_ + "/settings.reg"});
  }
  // Starts a program; its output goes to out.txt.
  pid_t Start(const std::vector<std::string>& args) const {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, (root_ + "/out.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<char*> argv, envp;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    for (const auto& e : env_) envp.push_back(const_cast<char*>(e.c_str()));
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
  }
  static int Wait(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  int Gather(const std::string& list) const { return Wait(Start({kBin + "/programs/corvane/corvane", "-S", list})); }
  std::string Output() const { return TempNetwork::ReadFile(root_ + "/out.txt"); }
  void Expect(int code, const char* what, const std::vector<std::string>& args) const {
    EXPECT_EQ(Wait(Start(args)), code) << what << ": " << Output();
  }
  // Every row of the three tables, in an order of their own, as text.
  std::string Rows() const {
    std::string all, select;
    for (const char* table : {"System", "Security", "Application"})
      select += std::string(select.empty() ? "" : " UNION ALL ") + "SELECT '" + table +
                "', Workstation, EventDate, RecordDate, Source, Computer, UserName, Type, Category, EventID, "
                "hex(Description), hex(Data) FROM " + table;
    EXPECT_EQ(RunTool("sqlite3 " + Quoted(root_ + "/install/Tallyard.db") + " \"" + select +
                          " ORDER BY 1,2,3,4,5,6,7,8,9,10,11,12\"", &all), 0) << all;
    return all;
  }

 private:
  std::string root_;
  std::vector<std::string> env_;
};

std::string Lab(int perLog) {
  std::string lab = "[lab]\nseed = 7\nsame-second = 40\ngap = 1-5\nlog-size = 64M\n";
  for (const char* name : {"SRV1", "SRV2", "WKS1", "WKS2"})
    lab += std::string("[computer ") + name + "]\nevents = System " + std::to_string(perLog) + ", Security " +
           std::to_string(perLog) + ", Application " + std::to_string(perLog) + "\n";
  for (const char* log : {"System", "Security", "Application"})
    lab += std::string("[source ") + log + " Svc]\n[event " + log + "]\nsource = Svc\nid = 7036\nstrings = {w} | {w}{w}{w}\n";
  return lab + "[words w]\n0\n1\n2\n3\n4\n5\n6\n7\n8\n9\n";
}

class UnattendedTest : public ::testing::Test {
 protected:
  void TearDown() override { fs::remove_all(root); }
  std::string root = MakeTempFolder("tallyard-unattended");
};

// (Without an installation, code 3: the programs' command-line test.)
TEST_F(UnattendedTest, ARunThatCannotStartSaysWhyAndEndsWithACodeThatIsNotZero) {
  Installation inst(root + "/inst", "");
  inst.Install();
  fs::create_directories(root + "/folder.imp");
  const std::string corvane = kBin + "/programs/corvane/corvane";
  const std::tuple<std::vector<std::string>, int, const char*> cases[] = {
      {{corvane, "-S"}, 2, "needs a list file"},
      {{corvane, "/S", root + "/missing.imp"}, 4, "cannot read the list file"},
      {{corvane, root + "/folder.imp", "-S"}, 4, "cannot read the list file"},
  };
  for (const auto& [args, code, says] : cases) {
    inst.Expect(code, says, args);
    EXPECT_NE(inst.Output().find(says), std::string::npos) << inst.Output();
  }
  EXPECT_FALSE(fs::exists(root + "/inst/install/Tallyard.log"));  // nothing ran: no report
}

// Kills the unattended run at random moments, at least ten times, while records keep coming in
// (each also written to the reference network), then lets one run complete; the database must
// hold exactly what one clean run over the reference network stores.
void KillAgainAndAgain(const std::string& root, bool erase) {
  const char* size = std::getenv("TALLYARD_RELIABILITY_RECORDS");
  const int perLog = (size ? std::atoi(size) : TALLYARD_RELIABILITY_DEFAULT) / 12;
  Installation killed(root + "/killed", Lab(perLog));
  Installation clean(root + "/clean", "");
  killed.Install(erase ? "\"EraseLogs\"=dword:00000001\n" : "");
  clean.Install();
  for (const char* name : {"SRV1", "SRV2", "WKS1", "WKS2"})
    fs::copy(root + "/killed/network/" + name, root + "/clean/network/" + name, fs::copy_options::recursive);
  TempNetwork::WriteFile(root + "/list.imp", "SRV1\nsrv2\nWKS1\n\\\\WKS2\n");
  const unsigned seed = static_cast<unsigned>(std::random_device()());
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);

  DWORD clock = 1767225600;  // 2026-01-01: newer than every record of the lab
  int serial = 0;
  auto arrive = [&] {  // a few new records in one log, in both networks
    const std::string computer = std::vector{"SRV1", "SRV2", "WKS1", "WKS2"}[rng() % 4],
                      log = std::vector{"System", "Security", "Application"}[rng() % 3];
    const auto batch = gathertest::Records(7, clock += 4, computer, 2, serial += 7);
    for (const char* network : {"/killed/network/", "/clean/network/"}) {
      platform::ComputerImage image{computer, root + network + computer, {}};
      platform::EventLogLocation location;
      ASSERT_EQ(platform::LocateImageEventLog(image, log.c_str(), location), 0u);
      ASSERT_EQ(platform::AppendEventRecords(location, batch), 0u);
    }
  };

  int kills = 0;
  int limitMs = 4000;
  for (int attempt = 0; kills < 10 && attempt < 60; ++attempt) {
    pid_t pid = killed.Start({kBin + "/programs/corvane/corvane", "-S", root + "/list.imp"});
    ASSERT_GT(pid, 0);
    arrive();
    std::this_thread::sleep_for(std::chrono::milliseconds(rng() % limitMs));
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == 0) {  // still running: this is a kill
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      ++kills;
    } else {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << killed.Output();
      limitMs = std::max(50, limitMs / 2);  // the runs are shorter than the moments drawn
    }
  }
  EXPECT_GE(kills, 10);
  ASSERT_EQ(killed.Gather(root + "/list.imp"), 0) << killed.Output();
  std::string report = TempNetwork::ReadFile(root + "/killed/install/Tallyard.log");
  EXPECT_NE(report.find("Errors\t0\n"), std::string::npos) << report;
  ASSERT_EQ(clean.Gather(root + "/list.imp"), 0) << clean.Output();
  const std::string expected = clean.Rows();
  EXPECT_GE(std::count(expected.begin(), expected.end(), '\n'), 12 * perLog);
  EXPECT_TRUE(killed.Rows() == expected) << "the database differs from that of one clean run";
  if (erase) {
    for (const char* name : {"SRV1", "SRV2", "WKS1", "WKS2"})
      for (const auto& f : fs::directory_iterator(root + "/killed/network/" + name + "/C/WINNT/System32/config"))
        EXPECT_NE(f.path().filename().string().rfind("Corvane-", 0), 0u) << "a saved log stayed: " << f.path();
  }
}

TEST_F(UnattendedTest, KilledRunsLoseNothingAndStoreNothingTwice) { KillAgainAndAgain(root, false); }

TEST_F(UnattendedTest, KilledRunsThatClearTheLogsLoseNothing) { KillAgainAndAgain(root, true); }

}  // namespace
