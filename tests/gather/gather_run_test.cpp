// The gather run over computer images into a database: batches and the incremental rule, Cancel,
// computers and logs that fail under the run, clearing with nothing lost, the unattended
// time-out, a server that goes away, every row against an independent reader, and the report.
#include <gtest/gtest.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>

#include "frame/computer_list.h"
#include "frame/run_log.h"
#include "frame/settings.h"
#include "gather/gather_report.h"
#include "gather/gather_run.h"
#include "gather/unattended_run.h"
#include "platform/core/threads.h"
#include "platform/eventlog/eventlog.h"
#include "platform/odbc/odbc_install.h"
#include "platform/registry/hive_image.h"
#include "platform/registry/registry.h"
#include "programs/corvane/strings.h"
#include "tests/store/backends.h"
#include "tests/support/gather_support.h"
#include "tests/support/run_window.h"
#include "tests/support/temp_network.h"
#include "tests/support/tool_run.h"

using storetest::Kind;

namespace {

const char* const kSlots[] = {"System     ", "Security   ", "Application"};

using gathertest::Append;
using gathertest::Records;

// A computer whose logs hold tens of thousands of records, and `records` in its System log that
// carry the name `carried` (its own by default).
void AddComputer(const std::string& name, int records = 0, const platform::HostInfo& host = {}, std::string carried = "") {
  gathertest::AddComputer(name, host);
  Append(name, "System", Records(records, 1700000000, carried.empty() ? name : carried));
}

void ClearOutside(const std::string& computer, const char* saveAs = nullptr) {
  HANDLE other = OpenEventLogA(computer.c_str(), "System");
  EXPECT_TRUE(ClearEventLogA(other, saveAs));
  CloseEventLog(other);
}

// The outcome lines of a computer's three logs, all ended alike.
std::string Alike(const char* descr, const std::string& computer, const std::string& ending) {
  std::string out;
  for (const char* slot : kSlots) out += std::string(descr) + "\t" + computer + "\t" + slot + "\t" + ending + "\n";
  return out;
}

// A PostgreSQL server of this process alone (own folder and port, no durability), so that a test
// can stop it under a running gather. Root runs it as the postgres account.
class PrivatePostgres {
 public:
  std::string Start() {  // empty once it runs, else why not
    std::string bin, port, out;
    if (RunTool("ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1", &bin) != 0 || bin.size() < 2)
      return "the PostgreSQL server binaries are not installed";
    RunTool("bash -c 'p=20000; while (exec 3<>/dev/tcp/127.0.0.1/$p) 2>/dev/null; do p=$((p + 1)); done; echo -n $p'", &port);
    port_ = std::stoi(port);
    dir_ = MakeTempFolder("tallyard-pg");
    std::filesystem::permissions(dir_, std::filesystem::perms(0755));
    const std::string as = ::getuid() == 0 ? "runuser -u postgres -- " : "", data = Quoted(dir_ + "/data");
    if (::getuid() == 0) RunTool("chown postgres " + Quoted(dir_));
    bin.pop_back();
    ctl_ = as + bin + "/pg_ctl -D " + data + " -l " + Quoted(dir_ + "/log") + " -w -t 30 -m immediate -o " +
           Quoted("-c listen_addresses=127.0.0.1 -p " + port + " -k " + dir_ + " -c fsync=off") + " ";
    if (RunTool(as + bin + "/initdb -D " + data + " -U postgres --auth=trust -E UTF8 --locale=C.UTF-8", &out) != 0 ||
        !Run("start") || RunTool("psql -qX -h " + Quoted(dir_) + " -p " + port + " -U postgres -c 'CREATE DATABASE tallyard'", &out) != 0)
      return "the server did not start: " + out;
    return "";
  }
  bool Run(const char* what) { return RunTool(ctl_ + what) == 0; }
  int port() const { return port_; }
  ~PrivatePostgres() {
    if (dir_.empty()) return;
    Run("stop");
    std::filesystem::remove_all(dir_);
  }

 private:
  std::string dir_, ctl_;
  int port_ = 0;
};

class GatherRunTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Loaded for good before any connection, as the store does (else a leak of an unknown module).
    platform::KeepInstallerLoaded();
    // Only a process that runs the test that stops the server pays for starting it.
    const std::string filter = GTEST_FLAG_GET(filter);
    postgresWhy = filter == "*" || filter.find("ServerStopped") != std::string::npos ? postgres.Start() : "not wanted here";
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
    runLog = RunLog{net.root() + "/run.log", nullptr, FullLog, Overwrite};
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
      computerList.Append(MakeRecordFromName(n[0] == '-' ? n.substr(1) : n));
      computerList[computerList.Count() - 1].selected = n[0] == '-' ? 0 : 1;
    }
  }
  void Run() { StartGatherRun(reinterpret_cast<HWND>(0x1)); }
  // The number of rows and of distinct descriptions (alike when nothing was stored twice).
  std::pair<long long, long long> Rows(const std::string& table = "System", const std::string& where = "1=1") {
    auto row = storetest::Probe(kind_).Row("SELECT COUNT(*), COUNT(DISTINCT Description) FROM " + table + " WHERE " + where, 2);
    return row ? std::pair(std::stoll((*row)[0].value_or("-1")), std::stoll((*row)[1].value_or("-1"))) : std::pair(-1LL, -1LL);
  }
  std::pair<long long, long long> RowsOf(const std::string& computer) { return Rows("System", "Workstation = '" + computer + "'"); }
  // The report's outcome lines, without the banner and the totals.
  std::string Outcomes() const {
    std::istringstream in(TempNetwork::ReadFile(runLog.fileName));
    std::string out;
    for (std::string line; std::getline(in, line);)
      if (line.rfind("Success\t", 0) == 0 || line.rfind("Error\t", 0) == 0) out += line + "\n";
    return out;
  }
  // The cancel flag raised (or `act` run once) when `text` first shows a position from `from` on.
  void At(const std::string& text, uint32_t from, std::function<void()> act, uint32_t* where) {
    *where = 0;
    windows.onMove = [=, this](const std::string& t, uint32_t position) {
      if (t == text && position >= from && !*where) *where = position, act ? act() : void(CancelRequested = 1);
    };
  }

  static inline PrivatePostgres postgres;
  static inline std::string postgresWhy;
  TempNetwork net;
  WindowlessRun windows;
  Kind kind_ = Kind::Sqlite;
};

// Same-second records on both sides of a commit, and a database that refuses a row.
TEST_F(GatherRunTest, CommitsInBatchesAndResumesAfterTheLastCommit) {
  struct Case {
    DWORD period;
    int records, perSecond, failAt;  // failAt: the record refused, 0 for none
    long long committed;
  } cases[] = {{2, 7, 1, 0, 7}, {2, 7, 1, 7, 6}, {2, 7, 1, 6, 3}, {0, 5, 1, 3, 2}, {2, 9, 9, 5, 3}, {100, 250, 4, 150, 101}};
  int n = 0;
  for (const Case& c : cases) {
    const std::string name = "SRV" + std::to_string(++n);
    SCOPED_TRACE(name);
    AddComputer(name);
    Append(name, "System", Records(c.records, 1700000000, name, c.perSecond));
    gatherSettings.transactionPeriod = c.period;
    UseDatabase(Kind::Sqlite);
    storetest::Probe probe(Kind::Sqlite);
    // The fallback description ends with the record's serial and a blank.
    ASSERT_TRUE(probe.Exec("CREATE TRIGGER refuse BEFORE INSERT ON System WHEN NEW.Description LIKE '%#" +
                           std::to_string(c.failAt - 1) + " ' BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    List({name});
    Run();
    EXPECT_EQ(Rows().first, c.committed);
    EXPECT_TRUE(!c.failAt || Outcomes().find("Error\t" + name + "\tSystem     \tUNABLE TO WRITE LOG\t") == 0) << Outcomes();
    ASSERT_TRUE(probe.Exec("DROP TRIGGER refuse"));
    Run();
    EXPECT_EQ(Outcomes(), Alike("Success", name, "OPERATION COMPLETED\t0"));
    EXPECT_EQ(Rows(), std::pair(1LL * c.records, 1LL * c.records));
  }
}

// A worker that cannot start, Cancel inside a log, a computer that goes offline between its
// logs, a log cleared by someone else, and records that carry another computer's name.
TEST_F(GatherRunTest, CancelOfflineAndClearedLogsEachEndTheirWay) {
  AddComputer("SRV1", 1500, {}, "OLDNAME");  // the name it had before a rename
  AddComputer("SRV2", 1500);
  AddComputer("IDLE");
  Append("SRV1", "Security", Records(300, 1700000000, "OLDNAME"));
  Append("SRV2", "Application", Records(200, 1700000000, "SRV2"));
  List({"SRV1", "-IDLE", "srv2"});
  const std::string noneReached = Alike("Error", "SRV1", "OPERATION CANCELLED\t0") + Alike("Error", "srv2", "OPERATION CANCELLED\t0");
  platform::testing::FailThreadStarts(1);
  Run();
  EXPECT_EQ(Rows().first, 0);
  EXPECT_EQ(Outcomes(), noneReached);

  uint32_t cancelledAt = 0, clearedAt = 0;
  At("SRV1 System", 600, nullptr, &cancelledAt);
  Run();
  EXPECT_EQ(windows.texts, (std::vector<std::string>{"SRV1", "SRV1 System"}));
  EXPECT_EQ(Rows().first, cancelledAt / 101 * 101);  // what was committed stays
  EXPECT_EQ(Outcomes(), noneReached);

  At("srv2 System", 600, [] { ClearOutside("SRV2"); }, &clearedAt);
  auto clear = windows.onMove;
  windows.onMove = [&](const std::string& text, uint32_t position) {
    if (text == "SRV1 System" && position == 1500) platform::WriteHostInfo(net.network() + "/SRV1/host.ini", HostThat(false));
    clear(text, position);
  };
  Run();
  EXPECT_EQ(Outcomes(), "Success\tSRV1\tSystem     \tOPERATION COMPLETED\t0\n"
                        "Error\tSRV1\tSecurity   \tUNABLE TO OPEN LOG\t1722\n"
                        "Error\tSRV1\tApplication\tUNABLE TO OPEN LOG\t1722\n"
                        "Error\tsrv2\tSystem     \tUNABLE TO READ LOG\t1503\n"
                        "Success\tsrv2\tSecurity   \tOPERATION COMPLETED\t0\n"
                        "Success\tsrv2\tApplication\tOPERATION COMPLETED\t0\n");
  EXPECT_EQ(RowsOf("srv2").first, clearedAt / 101 * 101);

  windows.onMove = nullptr;
  platform::WriteHostInfo(net.network() + "/SRV1/host.ini", {});
  Run();
  EXPECT_EQ(RowsOf("SRV1"), std::pair(1500LL, 1500LL));
  EXPECT_EQ(std::pair(Rows("Security").first, Rows("Application").first), std::pair(300LL, 200LL));
}

TEST_F(GatherRunTest, ClearingLosesNoRecordEvenAfterACrash) {
  struct Case {
    bool leftover;  // a saved log that a crash left between the clear and its storing
    int during;     // records that come in while the log is read
    bool denied;    // the computer refuses the clear
  } cases[] = {{false, 40, false}, {true, 0, false}, {true, 40, false}, {false, 0, true}};
  gatherSettings.eraseLogs = 1;
  int n = 0;
  for (const Case& c : cases) {
    const std::string name = "ERASE" + std::to_string(++n), saved = SavedLogName(name.c_str(), "System");
    SCOPED_TRACE(name);
    AddComputer(name, 0, HostThat(true, c.denied ? std::set<std::string>{"clear"} : std::set<std::string>{}));
    int total = 900 + c.during + (c.leftover ? 300 : 0);
    if (c.leftover) Append(name, "System", Records(300, 1600000000, name, 3, 5000)), ClearOutside(name, saved.c_str());
    Append(name, "System", Records(900, 1700000000, name));
    uint32_t at = 0;
    At(name + " System", 300, [&] { if (c.during) Append(name, "System", Records(c.during, 1800000000, name, 3, 9000)); }, &at);
    List({name});
    Run();
    EXPECT_EQ(Outcomes().find(c.denied ? "Error\t" + name + "\tSystem     \tUNABLE TO CLEAR LOG\t5\n" : "Success\t" + name + "\tSystem"), 0u)
        << Outcomes();
    EXPECT_EQ(RowsOf(name), std::pair(1LL * total, 1LL * total));
    HANDLE h = OpenEventLogA(name.c_str(), "System");
    DWORD left = 99;
    EXPECT_TRUE(GetNumberOfEventLogRecords(h, &left));
    EXPECT_EQ(left, c.denied ? 900u : 0u);
    CloseEventLog(h);
    SetLastError(kUnsetError);
    EXPECT_EQ(OpenBackupEventLogA(name.c_str(), saved.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    // The emptied log's first records share the second of the last stored ones: they are new.
    Append(name, "System", Records(2, c.during ? 1800000000 + (c.during - 1) / 3 : 1700000000 + 299, name, 3, 7000));
    windows.onMove = nullptr;
    Run();
    EXPECT_EQ(RowsOf(name).first, total + 2);
  }
}

TEST_F(GatherRunTest, TheTimeOutStopsTheWorkerOrReportsWithoutIt) {
  AddComputer("SRV1", 20000);
  List({"SRV1"});
  SetRunWindows(nullptr);
  // Inside the long log at the time-out: the worker stops at its next record.
  EXPECT_EQ(GatherUnattended(150, kUnattendedGraceMs), UnattendedEnd::Stopped);
  EXPECT_EQ(GatherThread, nullptr);
  EXPECT_EQ(Outcomes(), Alike("Error", "SRV1", "OPERATION CANCELLED\t0"));
  const long long kept = Rows().first;
  EXPECT_LT(kept, 20000);
  EXPECT_EQ(kept % 101, 0);
  // Blocked in the database past the grace: the report is written from the slots as they
  // stand, and the worker writes none of them when it comes back.
  storetest::Probe holder(Kind::Sqlite);
  ASSERT_TRUE(holder.Exec("BEGIN IMMEDIATE")) << holder.error();
  EXPECT_EQ(GatherUnattended(1000, 500), UnattendedEnd::Abandoned);
  EXPECT_EQ(Outcomes(), Alike("Error", "SRV1", "OPERATION CANCELLED\t0"));
  ASSERT_TRUE(holder.Exec("ROLLBACK"));
  ASSERT_NE(GatherThread, nullptr);
  EXPECT_EQ(WaitForSingleObject(GatherThread, 120000), static_cast<DWORD>(WAIT_OBJECT_0));
  CloseHandle(GatherThread);
  GatherThread = nullptr;
  EXPECT_EQ(computerList[0].results[0].status, static_cast<DWORD>(IDS_OPERATION_CANCELLED));
  EXPECT_EQ(Rows().first, kept);
  EXPECT_EQ(GatherUnattended(INFINITE - 1, kUnattendedGraceMs), UnattendedEnd::Finished);
  EXPECT_EQ(Rows(), std::pair(20000LL, 20000LL));
}

TEST_F(GatherRunTest, ServerStoppedMidRunKeepsWhatWasCommitted) {
  if (!postgresWhy.empty()) GTEST_SKIP() << "PostgreSQL stopped in a run SKIPPED: " << postgresWhy;
  UseDatabase(Kind::Postgres);
  AddComputer("SRV1", 1200);
  List({"SRV1"});
  uint32_t stoppedAt = 0;
  At("SRV1 System", 500, [] { EXPECT_TRUE(postgres.Run("stop")); }, &stoppedAt);
  Run();
  // Status 17 with a five-character SQLSTATE; the run ends there.
  const std::string outcomes = Outcomes();
  EXPECT_EQ(outcomes.find("Error\tSRV1\tSystem     \tUNABLE TO WRITE LOG\t"), 0u) << outcomes;
  EXPECT_EQ(outcomes.find('\n'), outcomes.find("LOG\t") + 4 + 5) << outcomes;
  EXPECT_NE(outcomes.find("Error\tSRV1\tApplication\tOPERATION CANCELLED\t0\n"), std::string::npos) << outcomes;
  ASSERT_TRUE(postgres.Run("start"));
  EXPECT_EQ(Rows().first, stoppedAt / 101 * 101);
  windows.onMove = nullptr;
  Run();
  EXPECT_EQ(Outcomes(), Alike("Success", "SRV1", "OPERATION COMPLETED\t0"));
  EXPECT_EQ(Rows(), std::pair(1200LL, 1200LL));
}

// Every field of every row of the demo lab's file server against what evtexport reads from the
// same .evt files, hives and message files (times as the gathering machine's local time).
TEST_F(GatherRunTest, EveryRowAgreesWithEvtexport) {
  if (!HaveTool("evtexport")) GTEST_SKIP() << "evtexport (libevt-utils) is not installed";
  ScopedEnv zone("TZ", "Europe/Berlin");
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
  auto local = [](const std::string& utc) {  // "Nov 24, 2025 07:30:00 UTC" in local time
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
    auto events = Evtexport("-r " + config + " -p " + net.network() + "/FILESRV/C " + config + "/" + file);
    EXPECT_EQ(static_cast<long long>(events.size()), Rows(table).first);
    for (size_t i = 0; i < events.size(); ++i) {
      auto& e = events[i];
      auto row = probe.Row("SELECT Source, Computer, Type, Category, EventID, EventDate, RecordDate, Description FROM " +
                               std::string(table) + " WHERE rowid = " + std::to_string(i + 1), 8);
      ASSERT_TRUE(row) << probe.error();
      std::vector<std::string> v;
      for (const auto& field : *row) v.push_back(field.value_or(""));
      // evtexport writes "name (n)" for a category it found, and the number alone otherwise.
      std::string theirs = e.source + "|" + e.fields["Computer name"] + "|" + types.at(inParens(e.fields["Event type"])) + "|" +
                           (e.category.find('(') != std::string::npos ? e.category.substr(0, e.category.rfind(" (")) : "-") +
                           "|" + std::to_string(std::stoul(inParens(e.fields["Event identifier"])) & 0xFFFF) + "|" +
                           local(e.fields["Creation time"]) + "|" + local(e.fields["Written time"]);
      std::string ours = v[0] + "|" + v[1] + "|" + v[2] + "|" + (v[3] == "None" || v[3] == "Not found." ? "-" : v[3]) + "|" +
                         v[4] + "|" + v[5].substr(0, 19) + "|" + v[6].substr(0, 19);
      // evtexport leaves parameter messages ("%%5") unreplaced: those texts differ by design.
      bool parameters = false;
      for (const std::string& s : e.strings) {
        parameters = parameters || s.find('%') != std::string::npos;
        if (s.find('%') == std::string::npos && v[7].find(s) == std::string::npos) ours += "|without " + s;
      }
      if (!e.message.empty() && !parameters) {
        std::string text;
        for (char ch : v[7])
          if (ch != '\r') text.push_back(ch);
        while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
        ours += "|" + text;
        theirs += "|" + e.message;
        ++compared;
      }
      EXPECT_EQ(ours, theirs) << table << " record " << i + 1;
    }
  }
  EXPECT_GT(compared, 500u);  // most records' descriptions were compared whole
}

TEST_F(GatherRunTest, ReportLinesFollowTheSlots) {
  ScopedEnv utc("TZ", "UTC");
  List({"SRV1", "-IDLE", "SRV2"});
  const std::tuple<size_t, DWORD, int32_t, const char*> slots[] = {
      {0, 11, 0, "stale"}, {0, 15, 5, ""}, {0, 17, 0, "08S01"}, {1, 15, 5, ""}, {1, 15, 5, ""},
      {1, 15, 5, ""},      {2, 24, 5, ""}, {2, 99, -3, ""},     {2, 5, 0, ""}};
  for (size_t i = 0; i < 9; ++i) {
    auto [computer, status, code, text] = slots[i];
    ResultSlot& slot = computerList[computer].results[i % 3];
    CopyText(slot.logName, sizeof slot.logName, kSlots[i % 3]);
    slot.status = status;
    slot.errorCode = code;
    CopyText(slot.errorText, sizeof slot.errorText, text);
  }
  std::string report = TempNetwork::ReadFile(TALLYARD_SOURCE_DIR "/tests/gather/golden/report.txt");
  WriteGatherReportAt(1772719629);
  EXPECT_EQ(TempNetwork::ReadFile(runLog.fileName), report);
  runLog.level = ErrorLogOnly;  // leaves out the lines of completed logs
  WriteGatherReportAt(1772719629);
  report.erase(report.find("Success"), report.find("Error\t") - report.find("Success"));
  EXPECT_EQ(TempNetwork::ReadFile(runLog.fileName), report);
}

}  // namespace
