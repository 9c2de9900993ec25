// The gather end to end: one computer, its three logs of 100,000 typical records each (three
// inserts, one a parameter message; an event, a category and a parameter file, as the row
// builder's benchmark has them), descriptions on, into SQLite (the default data source and its
// journal and sync choices) and PostgreSQL; beside it, in the same run, the store's own insert
// rate for rows already built (the ceiling the gather is measured against), and the gather's
// pieces per record: reading, building the row, inserting it. Peak memory after a gather of
// 3 x 10,000 records and after one of 3 x 100,000 tells whether memory grows with the log.
//
//   TALLYARD_TEST_SERVICES=build/services scripts/services start && source build/services/env
//   build/release/bench/gather_bench [--records=N]   (PostgreSQL is measured when it runs)
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "frame/computer_list.h"
#include "frame/run_log.h"
#include "frame/settings.h"
#include "gather/event_row.h"
#include "gather/gather_run.h"
#include "gather/unattended_run.h"
#include "platform/registry/registry.h"
#include "store/event_store.h"
#include "tests/gather/event_row_test.h"
#include "tests/store/backends.h"

namespace {

using storetest::Kind;

int records = 100000;  // per log

// The computer BIG with three logs of `records` typical records, SMALL with three of a tenth.
struct Network {
  std::string root;
  Network() {
    char tmpl[] = "/tmp/tallyard-gather-bench-XXXXXX";
    root = ::mkdtemp(tmpl);
    ::setenv("TALLYARD_NETWORK", (root + "/network").c_str(), 1);
    ::setenv("COMPUTERNAME", "ADMINPC", 1);
    std::filesystem::create_directories(root + "/network");
    rowtest::MakeImage(root + "/network");
    std::filesystem::rename(root + "/network/SRV1", root + "/network/BIG");
    std::filesystem::copy(root + "/network/BIG", root + "/network/SMALL", std::filesystem::copy_options::recursive);
    for (const char* name : {"BIG", "SMALL"}) Fill(name, std::string(name) == "BIG" ? records : records / 10);
    runLog.fileName = root + "/run.log";
    runLog.level = NoLog;
  }
  ~Network() {
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }
  static void Fill(const char* name, int count) {
    platform::ComputerImage image;
    platform::FindComputer(name, image);
    const std::string logs = "SYSTEM\\ControlSet001\\Services\\EventLog\\";
    for (const char* log : {"System", "Security", "Application"}) {
      platform::WriteImageValue(image, logs + log, "MaxSize", platform::DwordValue(256u << 20), true);
      for (const char* value : {"EventMessageFile", "CategoryMessageFile", "ParameterMessageFile"}) {
        platform::RegistryValue v;
        platform::ReadImageValue(image, logs + "Application\\Svc", value, v);
        platform::WriteImageValue(image, logs + log + "\\Svc", value, v, true);
      }
      platform::EventLogLocation location;
      platform::LocateImageEventLog(image, log, location);
      std::vector<platform::EventInput> batch;
      for (int i = 0; i < count; ++i) {
        platform::EventInput in;
        in.source = "Svc";
        in.computer = name;
        in.timeGenerated = in.timeWritten = 1700000000 + static_cast<DWORD>(i / 3);
        in.eventId = 10;
        in.eventCategory = 1;
        in.strings = {"alice" + std::to_string(i), "%%1234", "WS1"};
        in.userSid = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
        in.data = {1, 2, 3, 4};
        batch.push_back(in);
        if (batch.size() == 4096 || i + 1 == count) {
          if (platform::AppendEventRecords(location, batch) != ERROR_SUCCESS) std::abort();
          batch.clear();
        }
      }
    }
  }
};

Network& TheNetwork() {
  static Network network;
  return network;
}

double PeakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// The SQLite data sources measured: the driver's defaults (rollback journal, synchronous
// NORMAL), and the choices that keep every commit on the disk when it returns.
struct SqliteChoice {
  const char* dsn;
  const char* attributes;
};
const SqliteChoice kSqlite[] = {
    {"TySqlite", ""},
    {"TySqliteDeleteFull", "JournalMode=DELETE\nSyncPragma=FULL\n"},
    {"TySqliteWalFull", "JournalMode=WAL\nSyncPragma=FULL\n"},
    {"TySqliteWalNormal", "JournalMode=WAL\nSyncPragma=NORMAL\n"},
};

// Empty tables; a new SQLite file goes without the journal files of the one before.
bool EmptyTables(Kind kind, std::string* error) {
  for (const char* extra : {"-wal", "-shm"}) std::filesystem::remove(storetest::SqlitePath() + extra);
  return storetest::FreshTables(kind, error);
}

bool Ready(benchmark::State& state, Kind kind, const char* dsn) {
  TheNetwork();
  static bool configured = false;
  if (!configured) {
    storetest::ConfigureProcess();
    std::ofstream user(std::getenv("ODBCINI"), std::ios::app);
    for (const SqliteChoice& c : kSqlite)
      if (*c.attributes)
        user << "[" << c.dsn << "]\nDriver=SQLite3\nDatabase=" << storetest::SqlitePath() << "\nTimeout=2000\n"
             << c.attributes << "\n";
    configured = true;
  }
  std::string why = storetest::Unavailable(kind);
  if (!why.empty()) {
    state.SkipWithError(why.c_str());
    return false;
  }
  std::string error;
  if (!EmptyTables(kind, &error)) {
    state.SkipWithError(error.c_str());
    return false;
  }
  dataSourceSettings = storetest::Settings(kind);
  if (kind == Kind::Sqlite) std::snprintf(dataSourceSettings.dsn, sizeof dataSourceSettings.dsn, "%s", dsn);
  gatherSettings = GatherSettings{};
  return true;
}

// Every record of the computer's three logs into the database, as the unattended run does it.
void GatherComputer(benchmark::State& state, const char* computer) {
  computerList.Clear();
  ComputerRecord record = MakeRecordFromName(computer);
  record.selected = 1;
  computerList.Append(record);
  if (GatherUnattended(INFINITE - 1, kUnattendedGraceMs) != UnattendedEnd::Finished) state.SkipWithError("no end");
  for (const ResultSlot& slot : computerList[0].results)
    if (slot.status != 11) state.SkipWithError((std::string("a log failed: ") + slot.errorText).c_str());
}

void EndToEnd(benchmark::State& state, Kind kind, const char* dsn) {
  if (!Ready(state, kind, dsn)) return;
  for (auto _ : state) {
    state.PauseTiming();
    GatherComputer(state, "SMALL");  // the baseline for memory
    state.counters["peak_MB_small"] = PeakMegabytes();
    std::string error;
    EmptyTables(kind, &error);
    state.ResumeTiming();
    GatherComputer(state, "BIG");
  }
  state.counters["peak_MB"] = PeakMegabytes();
  state.SetItemsProcessed(state.iterations() * 3 * records);
}

// The store's ceiling: rows built beforehand, inserted and committed as the gather does it.
void StoreOnly(benchmark::State& state, Kind kind, const char* dsn) {
  if (!Ready(state, kind, dsn)) return;
  const int rows = static_cast<int>(state.range(0));
  std::vector<BuiltEventRow> built;
  {
    EventLogReader reader(nullptr, "System");
    if (!reader.Open("BIG")) std::abort();
    reader.NewBuffer(10000);
    while (static_cast<int>(built.size()) < 2000 && reader.ReadNext())
      reader.WalkBuffer([&](EventLogReader& r, const EVENTLOGRECORD* e) {
        built.push_back(BuildEventRow(r, e));
        return true;
      });
  }
  for (auto _ : state) {
    EventStore store;
    if (!store.OpenEnvironment() || !store.Connect(nullptr, dataSourceSettings) ||
        !store.PrepareInsert(nullptr, "System")) {
      state.SkipWithError(store.Message());
      return;
    }
    DWORD sinceCommit = 0;
    for (int i = 0; i < rows; ++i) {
      if (!store.InsertRow(nullptr, built[static_cast<size_t>(i) % built.size()].row)) {
        state.SkipWithError(store.Message());
        return;
      }
      if (sinceCommit < 100 && i + 1 != rows) {
        ++sinceCommit;
      } else {
        store.Commit(nullptr);
        sinceCommit = 0;
      }
    }
    store.Finish(nullptr);
    store.ReleaseEnvironment();
  }
  state.SetItemsProcessed(state.iterations() * rows);
}

// The gather's own work per record: reading the log, and reading it while building each row.
void Pieces(benchmark::State& state, bool build) {
  TheNetwork();
  for (auto _ : state) {
    EventLogReader reader(nullptr, "Application");
    reader.processed = 0;
    if (!reader.Open("BIG")) std::abort();
    reader.NewBuffer(10000);
    size_t sum = 0;
    while (reader.processed < reader.recordCount) {
      if (!reader.ReadNext()) std::abort();
      reader.WalkBuffer([&](EventLogReader& r, const EVENTLOGRECORD* e) {
        if (build) sum += BuildEventRow(r, e).row.descriptionLength;
        else sum += e->Length;
        return true;
      });
    }
    benchmark::DoNotOptimize(sum);
    reader.Close();
  }
  state.SetItemsProcessed(state.iterations() * records);
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::string(argv[i]).rfind("--records=", 0) == 0) records = std::stoi(argv[i] + 10);
  benchmark::RegisterBenchmark("ReadRecords", Pieces, false)->Iterations(1)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("ReadAndBuildRows", Pieces, true)->Iterations(1)->Unit(benchmark::kMillisecond);
  for (const SqliteChoice& c : kSqlite) {
    benchmark::RegisterBenchmark((std::string("StoreOnly/") + c.dsn).c_str(), StoreOnly, Kind::Sqlite, c.dsn)
        ->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark((std::string("GatherEndToEnd/") + c.dsn).c_str(), EndToEnd, Kind::Sqlite, c.dsn)
        ->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
  }
  benchmark::RegisterBenchmark("StoreOnly/PostgreSQL", StoreOnly, Kind::Postgres, "")
      ->Arg(20000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
  benchmark::RegisterBenchmark("GatherEndToEnd/PostgreSQL", EndToEnd, Kind::Postgres, "")
      ->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
