// The gather run over computer images into a database: batching and the incremental rule, the
// progress window's Cancel, computers and logs that fail under the run, clearing with nothing
// lost, the unattended time-out, a database server that goes away, and the report's bytes.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <ctime>
#include <map>
#include <optional>
#include <sstream>
#include <tuple>

#include "frame/computer_list.h"
#include "frame/run_log.h"
#include "frame/settings.h"
#include "gather/gather_report.h"
#include "gather/gather_run.h"
#include "gather/unattended_run.h"
#include "platform/core/threads.h"
#include "platform/odbc/odbc_install.h"
#include "programs/corvane/strings.h"
#include "tests/store/backends.h"
#include "tests/support/gather_support.h"

using storetest::Kind;

namespace {

// One environment variable set for a test and put back afterwards, whatever happens.
class EnvGuard {
 public:
  EnvGuard(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value, 1);
    ::tzset();
  }
  ~EnvGuard() {
    if (old_) ::setenv(name_, old_->c_str(), 1);
    else ::unsetenv(name_);
    ::tzset();
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class GatherRunTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Loaded for good before any connection, as the store does: a driver that loads and drops
    // it would leave its never-freed configuration behind as a leak of an unknown module.
    platform::KeepInstallerLoaded();
    // The server of this process goes in place of the shared one, before the ODBC
    // configuration is written with its port; only a process that runs the test that stops it
    // pays for starting it.
    const std::string filter = GTEST_FLAG_GET(filter);
    if (filter == "*" || filter.find("ServerStopped") != std::string::npos) postgresWhy = postgres.Start();
    else postgresWhy = "not wanted here";
    if (postgresWhy.empty()) {
      ::setenv("TALLYARD_TEST_PG_PORT", std::to_string(postgres.port()).c_str(), 1);
      ::setenv("TALLYARD_TEST_PG_USER", "postgres", 1);
      ::setenv("TALLYARD_TEST_PG_PASSWORD", "unused", 1);
    } else {
      ::unsetenv("TALLYARD_TEST_PG_PORT");
    }
    ::unsetenv("TALLYARD_TEST_MARIADB_PORT");
    storetest::ConfigureProcess();
  }

  void SetUp() override {
    UseDatabase(Kind::Sqlite);
    gatherSettings = GatherSettings{};
    computerList.Clear();
    runLog.fileName = net.root() + "/run.log";
    runLog.level = FullLog;
    runLog.mode = Overwrite;
    SetStringTable(corvaneStrings);
    SetRunWindows(&windows);
  }
  void TearDown() override { SetRunWindows(nullptr); }

  void UseDatabase(Kind kind) {
    std::string error;
    ASSERT_TRUE(storetest::FreshTables(kind, &error)) << error;
    dataSourceSettings = storetest::Settings(kind);
    kind_ = kind;
  }
  // The list: every name selected but those that start with "-".
  void List(std::initializer_list<std::string> names) {
    computerList.Clear();
    for (const std::string& n : names) {
      ComputerRecord r = MakeRecordFromName(n[0] == '-' ? n.substr(1) : n);
      r.selected = n[0] == '-' ? 0 : 1;
      computerList.Append(r);
    }
  }
  void Run() { StartGatherRun(reinterpret_cast<HWND>(0x1)); }
  long long Rows(const std::string& what, const std::string& table = "System") {
    storetest::Probe probe(kind_);
    return probe.Scalar("SELECT " + what + " FROM " + table).value_or(-1);
  }
  // The report's outcome lines, without the banner and the totals.
  std::string Outcomes() const {
    std::istringstream in(TempNetwork::ReadFile(runLog.fileName));
    std::string line, out;
    while (std::getline(in, line))
      if (line.rfind("Success\t", 0) == 0 || line.rfind("Error\t", 0) == 0) out += line + "\n";
    return out;
  }

  static inline gathertest::PrivatePostgres postgres;
  static inline std::string postgresWhy;
  TempNetwork net;
  gathertest::WindowlessRun windows;
  Kind kind_ = Kind::Sqlite;
};

const char kAllDone[] = "Success\tSRV1\tSystem     \tOPERATION COMPLETED\t0\n"
                        "Success\tSRV1\tSecurity   \tOPERATION COMPLETED\t0\n"
                        "Success\tSRV1\tApplication\tOPERATION COMPLETED\t0\n";

TEST_F(GatherRunTest, CommitsInBatchesAndResumesAfterTheLastCommit) {
  struct Case {
    DWORD period;
    int records, perSecond;
    int failAt;  // the record the database refuses, 0 for none
    long long committed;
  } cases[] = {
      {2, 7, 1, 0, 7},  // commits after the 3rd and the 6th row, and after the last counted one
      {2, 7, 1, 7, 6},
      {2, 7, 1, 6, 3},
      {0, 5, 1, 3, 2},      // every row committed at once
      {2, 9, 9, 5, 3},      // one second on both sides of a commit: the next run skips the three
      {100, 250, 4, 150, 101},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(n);
    const std::string name = "SRV" + std::to_string(++n);
    gathertest::AddComputer(name);
    gathertest::Append(name, "System", gathertest::Records(c.records, 1700000000, name, c.perSecond));
    gatherSettings.transactionPeriod = c.period;
    UseDatabase(Kind::Sqlite);
    storetest::Probe probe(Kind::Sqlite);
    // The fallback description ends with the record's serial and a blank.
    ASSERT_TRUE(probe.Exec("CREATE TRIGGER refuse BEFORE INSERT ON System WHEN NEW.Description LIKE '%#" +
                           std::to_string(c.failAt - 1) + " ' BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    List({name});
    Run();
    EXPECT_EQ(Rows("COUNT(*)"), c.committed);
    const std::string system = "\t" + name + "\tSystem     \t";
    if (c.failAt) {
      EXPECT_EQ(Outcomes().find("Error" + system + "UNABLE TO WRITE LOG\t"), 0u) << Outcomes();
    }
    ASSERT_TRUE(probe.Exec("DROP TRIGGER refuse"));
    Run();
    EXPECT_EQ(Outcomes().find("Success" + system), 0u) << Outcomes();
    EXPECT_EQ(Rows("COUNT(*)"), c.records);
    EXPECT_EQ(Rows("COUNT(DISTINCT Description)"), c.records);
  }
}

TEST_F(GatherRunTest, CancelOfflineAndClearedLogsEachEndTheirWay) {
  gathertest::AddComputer("SRV1");
  gathertest::AddComputer("SRV2");
  gathertest::AddComputer("IDLE");
  // SRV1's records carry the name it had before a rename.
  gathertest::Append("SRV1", "System", gathertest::Records(1500, 1700000000, "OLDNAME"));
  gathertest::Append("SRV1", "Security", gathertest::Records(300, 1700000000, "OLDNAME"));
  gathertest::Append("SRV2", "System", gathertest::Records(1500, 1700000000, "SRV2"));
  gathertest::Append("SRV2", "Application", gathertest::Records(200, 1700000000, "SRV2"));
  List({"SRV1", "-IDLE", "srv2"});

  uint32_t cancelledAt = 0;
  windows.onPosition = [&](const std::string& text, uint32_t position) {
    if (text == "SRV1 System" && position >= 600 && !cancelledAt) {
      cancelledAt = position;
      CancelRequested = 1;
    }
  };
  // A worker that cannot start: the window still closes, nothing was reached.
  platform::testing::FailThreadStarts(1);
  Run();
  EXPECT_EQ(Rows("COUNT(*)"), 0);
  const std::string cancelled = "\tOPERATION CANCELLED\t0\n";
  const std::string noneReached = "Error\tSRV1\tSystem     " + cancelled + "Error\tSRV1\tSecurity   " + cancelled +
                                  "Error\tSRV1\tApplication" + cancelled + "Error\tsrv2\tSystem     " + cancelled +
                                  "Error\tsrv2\tSecurity   " + cancelled + "Error\tsrv2\tApplication" + cancelled;
  EXPECT_EQ(Outcomes(), noneReached);

  Run();
  EXPECT_EQ(windows.texts, (std::vector<std::string>{"SRV1", "SRV1 System"}));
  EXPECT_EQ(Rows("COUNT(*)"), cancelledAt / 101 * 101);
  EXPECT_EQ(Outcomes(), noneReached);

  // SRV1 goes off once its System log is done; SRV2's System log is cleared under the gather.
  uint32_t clearedAt = 0;
  windows.onPosition = [&](const std::string& text, uint32_t position) {
    platform::HostInfo off;
    off.online = false;
    if (text == "SRV1 System" && position == 1500) platform::WriteHostInfo(net.network() + "/SRV1/host.ini", off);
    if (text == "srv2 System" && position >= 600 && !clearedAt) {
      HANDLE other = OpenEventLogA("SRV2", "System");
      EXPECT_TRUE(ClearEventLogA(other, nullptr));
      CloseEventLog(other);
      clearedAt = position;
    }
  };
  Run();
  EXPECT_EQ(Outcomes(), "Success\tSRV1\tSystem     \tOPERATION COMPLETED\t0\n"
                        "Error\tSRV1\tSecurity   \tUNABLE TO OPEN LOG\t1722\n"
                        "Error\tSRV1\tApplication\tUNABLE TO OPEN LOG\t1722\n"
                        "Error\tsrv2\tSystem     \tUNABLE TO READ LOG\t1503\n"
                        "Success\tsrv2\tSecurity   \tOPERATION COMPLETED\t0\n"
                        "Success\tsrv2\tApplication\tOPERATION COMPLETED\t0\n");
  EXPECT_EQ(Rows("COUNT(*)", "System WHERE Workstation = 'SRV1'"), 1500);
  EXPECT_EQ(Rows("COUNT(*)", "System WHERE Workstation = 'srv2'"), clearedAt / 101 * 101);

  // Once more with SRV1 back: its System log, whose records name another computer, adds nothing.
  windows.onPosition = nullptr;
  platform::WriteHostInfo(net.network() + "/SRV1/host.ini", {});
  Run();
  EXPECT_EQ(Rows("COUNT(*)", "System WHERE Workstation = 'SRV1'"), 1500);
  EXPECT_EQ(Rows("COUNT(DISTINCT Description)", "System WHERE Workstation = 'SRV1'"), 1500);
  EXPECT_EQ(Rows("COUNT(*)", "Security"), 300);
  EXPECT_EQ(Rows("COUNT(*)", "Application"), 200);
}

TEST_F(GatherRunTest, ClearingLosesNoRecordEvenAfterACrash) {
  struct Case {
    bool leftover;  // a saved log that a crash left between the clear and its storing
    int during;     // records that come in while the log is read
  } cases[] = {{false, 0}, {false, 40}, {true, 0}, {true, 40}};
  gatherSettings.eraseLogs = 1;
  int n = 0;
  for (const Case& c : cases) {
    const std::string name = "ERASE" + std::to_string(++n);
    SCOPED_TRACE(name);
    gathertest::AddComputer(name);
    const std::string saved = SavedLogName(name.c_str(), "System");
    int total = 900 + c.during;
    if (c.leftover) {
      gathertest::Append(name, "System", gathertest::Records(300, 1600000000, name, 3, 5000));
      HANDLE h = OpenEventLogA(name.c_str(), "System");
      ASSERT_TRUE(ClearEventLogA(h, saved.c_str()));
      CloseEventLog(h);
      total += 300;
    }
    gathertest::Append(name, "System", gathertest::Records(900, 1700000000, name));
    bool added = false;
    windows.onPosition = [&](const std::string& text, uint32_t position) {
      if (text == name + " System" && position >= 300 && !added && c.during)
        gathertest::Append(name, "System", gathertest::Records(c.during, 1800000000, name, 3, 9000));
      added = added || position >= 300;
    };
    List({name});
    Run();
    EXPECT_EQ(Outcomes().find("Success\t" + name + "\tSystem"), 0u) << Outcomes();
    EXPECT_EQ(Rows("COUNT(*)", "System WHERE Workstation = '" + name + "'"), total);
    EXPECT_EQ(Rows("COUNT(DISTINCT Description)", "System WHERE Workstation = '" + name + "'"), total);
    HANDLE h = OpenEventLogA(name.c_str(), "System");
    DWORD left = 99;
    EXPECT_TRUE(GetNumberOfEventLogRecords(h, &left));
    EXPECT_EQ(left, 0u);
    CloseEventLog(h);
    SetLastError(0);
    EXPECT_EQ(OpenBackupEventLogA(name.c_str(), saved.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    // The emptied log's first records share the second of the last stored ones: they are new.
    const DWORD last = c.during ? 1800000000 + (c.during - 1) / 3 : 1700000000 + 299;
    gathertest::Append(name, "System", gathertest::Records(2, last, name, 3, 7000));
    Run();
    EXPECT_EQ(Rows("COUNT(*)", "System WHERE Workstation = '" + name + "'"), total + 2);
  }
}

TEST_F(GatherRunTest, TheTimeOutStopsTheWorkerOrReportsWithoutIt) {
  gathertest::AddComputer("SRV1");
  gathertest::Append("SRV1", "System", gathertest::Records(20000, 1700000000, "SRV1"));
  List({"SRV1"});
  SetRunWindows(nullptr);
  const std::string cancelled = "\tOPERATION CANCELLED\t0\n";
  const std::string allCancelled = "Error\tSRV1\tSystem     " + cancelled + "Error\tSRV1\tSecurity   " + cancelled +
                                   "Error\tSRV1\tApplication" + cancelled;
  // Inside the long log at the time-out: the worker stops at its next record.
  EXPECT_EQ(GatherUnattended(150, kUnattendedGraceMs), UnattendedEnd::Stopped);
  EXPECT_EQ(GatherThread, nullptr);
  EXPECT_EQ(Outcomes(), allCancelled);
  const long long kept = Rows("COUNT(*)");
  EXPECT_LT(kept, 20000);
  EXPECT_EQ(kept % 101, 0);

  // Blocked in the database (another writer holds it) past the grace: the report is written
  // from the slots as they stand, and the worker writes none of them when it comes back.
  storetest::Probe holder(Kind::Sqlite);
  ASSERT_TRUE(holder.Exec("BEGIN IMMEDIATE")) << holder.error();
  EXPECT_EQ(GatherUnattended(1000, 500), UnattendedEnd::Abandoned);
  EXPECT_EQ(Outcomes(), allCancelled);
  ASSERT_TRUE(holder.Exec("ROLLBACK"));
  ASSERT_NE(GatherThread, nullptr);
  EXPECT_EQ(WaitForSingleObject(GatherThread, 120000), static_cast<DWORD>(WAIT_OBJECT_0));
  CloseHandle(GatherThread);
  GatherThread = nullptr;
  EXPECT_EQ(computerList[0].results[0].status, static_cast<DWORD>(IDS_OPERATION_CANCELLED));
  EXPECT_EQ(Rows("COUNT(*)"), kept);

  EXPECT_EQ(GatherUnattended(INFINITE - 1, kUnattendedGraceMs), UnattendedEnd::Finished);
  EXPECT_EQ(Outcomes(), kAllDone);
  EXPECT_EQ(Rows("COUNT(DISTINCT Description)"), 20000);
}

TEST_F(GatherRunTest, ServerStoppedMidRunKeepsWhatWasCommitted) {
  if (!postgresWhy.empty()) GTEST_SKIP() << "PostgreSQL stopped in a run SKIPPED: " << postgresWhy;
  UseDatabase(Kind::Postgres);
  gathertest::AddComputer("SRV1");
  gathertest::Append("SRV1", "System", gathertest::Records(1200, 1700000000, "SRV1"));
  List({"SRV1"});
  uint32_t stoppedAt = 0;
  windows.onPosition = [&](const std::string& text, uint32_t position) {
    if (text == "SRV1 System" && position >= 500 && !stoppedAt) {
      stoppedAt = position;
      EXPECT_TRUE(postgres.Stop());
    }
  };
  Run();
  const std::string outcomes = Outcomes();
  EXPECT_EQ(outcomes.find("Error\tSRV1\tSystem     \tUNABLE TO WRITE LOG\t"), 0u) << outcomes;
  const size_t state = outcomes.find("LOG\t") + 4;
  EXPECT_EQ(outcomes.find('\n'), state + 5) << "a five-character SQLSTATE: " << outcomes;
  EXPECT_NE(outcomes.find("Error\tSRV1\tApplication\tOPERATION CANCELLED\t0\n"), std::string::npos);
  ASSERT_TRUE(postgres.Restart());
  EXPECT_EQ(Rows("COUNT(*)"), stoppedAt / 101 * 101);
  windows.onPosition = nullptr;
  Run();
  EXPECT_EQ(Outcomes(), kAllDone);
  EXPECT_EQ(Rows("COUNT(DISTINCT Description)"), 1200);
  EXPECT_EQ(Rows("COUNT(*)"), 1200);
}

// evtexport's events: each field of an event by its name, strings under "String", the message
// under "Message string" (with its continuation lines).
std::vector<std::multimap<std::string, std::string>> Evtexport(const std::string& command) {
  std::string out;
  RunTool(command + " 2>/dev/null", &out);
  std::vector<std::multimap<std::string, std::string>> events;
  std::istringstream in(out);
  std::string line;
  std::multimap<std::string, std::string>::iterator last;
  while (std::getline(in, line)) {
    const size_t sep = line.find("\t: ");
    if (sep == std::string::npos) {
      if (!events.empty() && last != events.back().end() && last->first == "Message string" && !line.empty())
        last->second += "\n" + line;
      continue;
    }
    std::string key = line.substr(0, line.find('\t'));
    if (key == "Event number") events.emplace_back();
    if (key.rfind("String: ", 0) == 0) key = "String";
    if (!events.empty()) last = events.back().emplace(key, line.substr(sep + 3));
  }
  return events;
}

TEST_F(GatherRunTest, EveryRowAgreesWithEvtexport) {
  if (RunTool("command -v evtexport") != 0) GTEST_SKIP() << "evtexport (libevt-utils) is not installed";
  EnvGuard zone("TZ", "Europe/Berlin");
  std::string out;
  const std::string hostkit = TALLYARD_BINARY_DIR "/tools/hostkit/hostkit";
  ASSERT_EQ(RunTool(hostkit + " lab " TALLYARD_SOURCE_DIR "/examples/lab", &out), 0) << out;
  // evtexport reads a hive only when its root holds two keys or more.
  TempNetwork::WriteFile(net.root() + "/classes.reg", "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes]\n");
  ASSERT_EQ(RunTool(hostkit + " reg import FILESRV " + net.root() + "/classes.reg", &out), 0) << out;
  List({"FILESRV"});
  Run();
  const std::string config = net.network() + "/FILESRV/C/WINNT/System32/config";
  const std::map<std::string, std::string> types = {{"1", "Error"}, {"2", "Warning"}, {"4", "Information"},
                                                    {"8", "Success Audit"}, {"16", "Failure Audit"}};
  auto local = [](const std::string& utc) {  // "Nov 24, 2025 07:30:00 UTC" as the gathering machine's time
    std::tm tm{};
    strptime(utc.c_str(), "%b %d, %Y %H:%M:%S", &tm);
    std::time_t t = timegm(&tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", std::localtime(&t));
    return std::string(text);
  };
  auto inParens = [](const std::string& s) { return s.substr(s.rfind('(') + 1, s.rfind(')') - s.rfind('(') - 1); };
  storetest::Probe probe(Kind::Sqlite);
  size_t compared = 0;
  for (auto [table, file] : {std::pair{"System", "SysEvent.Evt"}, {"Security", "SecEvent.Evt"}, {"Application", "AppEvent.Evt"}}) {
    auto events = Evtexport("evtexport -r " + config + " -p " + net.network() + "/FILESRV/C " + config + "/" + file);
    EXPECT_EQ(static_cast<long long>(events.size()), Rows("COUNT(*)", table));
    for (size_t i = 0; i < events.size(); ++i) {
      SCOPED_TRACE(std::string(table) + " record " + std::to_string(i + 1));
      auto& e = events[i];
      auto row = probe.Row("SELECT Source, Computer, Type, Category, EventID, EventDate, RecordDate, Description FROM " +
                               std::string(table) + " WHERE rowid = " + std::to_string(i + 1),
                           8);
      ASSERT_TRUE(row && (*row)[7]);
      auto field = [&](int n) { return (*row)[static_cast<size_t>(n)].value_or(""); };
      EXPECT_EQ(field(0), e.find("Source name")->second);
      EXPECT_EQ(field(1), e.find("Computer name")->second);
      EXPECT_EQ(field(2), types.at(inParens(e.find("Event type")->second)));
      EXPECT_EQ(std::to_string(std::stoul(inParens(e.find("Event identifier")->second)) & 0xFFFF), field(4));
      // evtexport writes "name (n)" for a category it found, and the number alone otherwise.
      const std::string category = e.find("Event category")->second;
      if (category.find('(') != std::string::npos) {
        EXPECT_EQ(field(3) + " (", category.substr(0, field(3).size() + 2));
      } else {
        EXPECT_TRUE(field(3) == "None" || field(3) == "Not found.") << field(3);
      }
      EXPECT_EQ(field(5).substr(0, 19), local(e.find("Creation time")->second));
      EXPECT_EQ(field(6).substr(0, 19), local(e.find("Written time")->second));
      const std::string description = field(7);
      bool parameters = false;
      for (auto [k, v] = e.equal_range("String"); k != v; ++k) {
        parameters = parameters || k->second.find('%') != std::string::npos;
        if (k->second.find('%') == std::string::npos) {
          EXPECT_NE(description.find(k->second), std::string::npos) << k->second;
        }
      }
      // evtexport leaves parameter messages ("%%5") unreplaced: those texts differ by design.
      auto message = e.find("Message string");
      if (message != e.end() && !parameters) {
        std::string ours;
        for (char ch : description)
          if (ch != '\r') ours.push_back(ch);
        while (!ours.empty() && (ours.back() == '\n' || ours.back() == ' ')) ours.pop_back();
        EXPECT_EQ(ours, message->second);
        ++compared;
      }
    }
  }
  EXPECT_GT(compared, 500u);  // most records' descriptions were compared whole
}

TEST_F(GatherRunTest, ReportLinesFollowTheSlots) {
  EnvGuard utc("TZ", "UTC");
  List({"SRV1", "-IDLE", "SRV2"});
  const std::tuple<size_t, DWORD, int32_t, const char*> slots[] = {
      {0, 11, 0, "stale"}, {0, 15, 5, ""}, {0, 17, 0, "08S01"}, {1, 15, 5, ""}, {1, 15, 5, ""},
      {1, 15, 5, ""},      {2, 24, 5, ""}, {2, 99, -3, ""},     {2, 5, 0, ""}};
  const char* names[] = {"System     ", "Security   ", "Application"};
  for (size_t i = 0; i < 9; ++i) {
    auto [computer, status, code, text] = slots[i];
    ResultSlot& slot = computerList[computer].results[i % 3];
    CopyText(slot.logName, sizeof slot.logName, names[i % 3]);
    slot.status = status;
    slot.errorCode = code;
    CopyText(slot.errorText, sizeof slot.errorText, text);
  }
  const std::string full =
      "===============================\n"
      "03/05/2026 14:07:09 Gathering completed\n"
      "Descr\tComputerName\t TableName\tOperation\tErrorCode\n"
      "===============================\n"
      "Success\tSRV1\tSystem     \tOPERATION COMPLETED\t0\n"
      "Error\tSRV1\tSecurity   \tUNABLE TO OPEN LOG\t5\n"
      "Error\tSRV1\tApplication\tUNABLE TO WRITE LOG\t08S01\n"
      "Error\tSRV2\tSystem     \tUNABLE TO CLEAR LOG\t5\n"
      "Error\tSRV2\tSecurity   \tUnknown\t-3\n"
      "Error\tSRV2\tApplication\tOPERATION CANCELLED\t0\n"
      "\n===============================\n"
      "Processed\t6\n"
      "Errors\t5\n"
      "\n";
  WriteGatherReportAt(1772719629);
  EXPECT_EQ(TempNetwork::ReadFile(runLog.fileName), full);
  runLog.level = ErrorLogOnly;
  WriteGatherReportAt(1772719629);
  std::string errorsOnly = full;
  errorsOnly.erase(errorsOnly.find("Success"), errorsOnly.find("Error\t") - errorsOnly.find("Success"));
  EXPECT_EQ(TempNetwork::ReadFile(runLog.fileName), errorsOnly);
}

}  // namespace
