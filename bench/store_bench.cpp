// Rows per second through the event store, committing as the gather does by default (every
// 101 rows), beside the fastest ordinary path of each database's own client library in the same
// run: SQLite with one prepared statement in one transaction, PostgreSQL with COPY. The native
// figure is the ceiling the store is measured against.
//
// PostgreSQL and MariaDB are measured when scripts/services runs them:
//   TALLYARD_TEST_SERVICES=build/services scripts/services start && source build/services/env
//   build/release/bench/store_bench
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "store/event_store.h"
#include "tests/store/backends.h"

#ifdef TALLYARD_BENCH_SQLITE3
#include <sqlite3.h>
#endif
#ifdef TALLYARD_BENCH_LIBPQ
#include <libpq-fe.h>
#endif

namespace {

using storetest::Kind;

// A row of about 300 bytes: a 200-character description, no data.
struct BenchRow {
  EventRow row;
  std::string description;
};

std::vector<BenchRow> MakeRows(size_t n) {
  std::vector<BenchRow> rows(n);
  for (size_t i = 0; i < n; ++i) {
    BenchRow& r = rows[i];
    EventRow& row = r.row;
    std::snprintf(row.workstation, sizeof row.workstation, "SRV%zu", i % 7);
    row.eventDate = {2024, 3, 1, static_cast<SQLUSMALLINT>(i / 3600 % 24), static_cast<SQLUSMALLINT>(i / 60 % 60),
                     static_cast<SQLUSMALLINT>(i % 60), 1000};
    row.recordDate = row.eventDate;
    std::snprintf(row.source, sizeof row.source, "Service Control Manager");
    std::snprintf(row.computer, sizeof row.computer, "SRV%zu", i % 7);
    std::snprintf(row.userName, sizeof row.userName, "N/A");
    std::snprintf(row.type, sizeof row.type, "Error");
    std::snprintf(row.category, sizeof row.category, "None");
    row.eventID = 7000 + static_cast<DWORD>(i % 50);
    r.description = "The Messenger service failed to start due to the following error: " + std::string(132, 'x');
  }
  for (BenchRow& r : rows) {
    r.row.description = r.description.c_str();
    r.row.descriptionLength = static_cast<DWORD>(r.description.size());
  }
  return rows;
}

bool Ready(benchmark::State& state, Kind kind) {
  storetest::ConfigureProcess();
  std::string why = storetest::Unavailable(kind);
  if (!why.empty()) {
    state.SkipWithError(why.c_str());
    return false;
  }
  std::string error;
  if (!storetest::FreshTables(kind, &error)) {
    state.SkipWithError(error.c_str());
    return false;
  }
  return true;
}

void ThroughEventStore(benchmark::State& state, Kind kind) {
  if (!Ready(state, kind)) return;
  const auto rows = MakeRows(static_cast<size_t>(state.range(0)));
  DataSourceSettings settings = storetest::Settings(kind);
  for (auto _ : state) {
    EventStore store;
    if (!store.OpenEnvironment() || !store.Connect(nullptr, settings) || !store.PrepareInsert(nullptr, "System")) {
      state.SkipWithError(store.Message());
      return;
    }
    DWORD sinceCommit = 0;
    for (const BenchRow& r : rows) {
      if (!store.InsertRow(nullptr, r.row)) {
        state.SkipWithError(store.Message());
        return;
      }
      if (sinceCommit < 100) {
        ++sinceCommit;
      } else {
        store.Commit(nullptr);
        sinceCommit = 0;
      }
    }
    store.Commit(nullptr);
    store.Finish(nullptr);
    store.ReleaseEnvironment();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

std::string Stamp(const TIMESTAMP_STRUCT& t) {
  char text[80];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u %02u:%02u:%02u.%06u", t.year, t.month, t.day, t.hour, t.minute,
                t.second, t.fraction / 1000);
  return text;
}

#ifdef TALLYARD_BENCH_SQLITE3
void NativeSqlite(benchmark::State& state) {
  if (!Ready(state, Kind::Sqlite)) return;
  const auto rows = MakeRows(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    sqlite3* db = nullptr;
    sqlite3_stmt* insert = nullptr;
    if (sqlite3_open(storetest::SqlitePath().c_str(), &db) != SQLITE_OK ||
        sqlite3_prepare_v2(db,
                           "INSERT INTO System (Workstation, EventDate, RecordDate, Source, Computer, UserName, Type, "
                           "Category, EventID, Description, Data) VALUES (?,?,?,?,?,?,?,?,?,?,?)",
                           -1, &insert, nullptr) != SQLITE_OK) {
      state.SkipWithError(sqlite3_errmsg(db));
      sqlite3_close(db);
      return;
    }
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    for (const BenchRow& r : rows) {
      const EventRow& row = r.row;
      std::string eventDate = Stamp(row.eventDate), recordDate = Stamp(row.recordDate);
      sqlite3_bind_text(insert, 1, row.workstation, -1, SQLITE_STATIC);
      sqlite3_bind_text(insert, 2, eventDate.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(insert, 3, recordDate.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(insert, 4, row.source, -1, SQLITE_STATIC);
      sqlite3_bind_text(insert, 5, row.computer, -1, SQLITE_STATIC);
      sqlite3_bind_text(insert, 6, row.userName, -1, SQLITE_STATIC);
      sqlite3_bind_text(insert, 7, row.type, -1, SQLITE_STATIC);
      sqlite3_bind_text(insert, 8, row.category, -1, SQLITE_STATIC);
      sqlite3_bind_int64(insert, 9, row.eventID);
      sqlite3_bind_text(insert, 10, row.description, static_cast<int>(row.descriptionLength), SQLITE_STATIC);
      sqlite3_bind_null(insert, 11);
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_finalize(insert);
    sqlite3_close(db);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(NativeSqlite)->Arg(20000)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

#ifdef TALLYARD_BENCH_LIBPQ
// COPY's text format: tab-separated, with backslash escapes.
void CopyField(std::string& out, const char* text, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    char c = text[i];
    if (c == '\\' || c == '\t' || c == '\n' || c == '\r') {
      out += '\\';
      c = c == '\t' ? 't' : c == '\n' ? 'n' : c == '\r' ? 'r' : c;
    }
    out += c;
  }
}

void NativePostgresCopy(benchmark::State& state) {
  if (!Ready(state, Kind::Postgres)) return;
  const auto rows = MakeRows(static_cast<size_t>(state.range(0)));
  DataSourceSettings settings = storetest::Settings(Kind::Postgres);
  std::string conninfo = std::string("host=127.0.0.1 port=") + std::getenv("TALLYARD_TEST_PG_PORT") +
                         " dbname=tallyard user=" + settings.user + " password=" + settings.password;
  for (auto _ : state) {
    PGconn* pg = PQconnectdb(conninfo.c_str());
    if (PQstatus(pg) != CONNECTION_OK) {
      state.SkipWithError(PQerrorMessage(pg));
      PQfinish(pg);
      return;
    }
    PQclear(PQexec(pg,
                   "COPY System (Workstation, EventDate, RecordDate, Source, Computer, UserName, Type, Category, "
                   "EventID, Description) FROM STDIN"));
    std::string buffer;
    for (const BenchRow& r : rows) {
      const EventRow& row = r.row;
      for (const char* field : {row.workstation}) CopyField(buffer, field, std::strlen(field));
      buffer += '\t' + Stamp(row.eventDate) + '\t' + Stamp(row.recordDate) + '\t';
      for (const char* field : {row.source, row.computer, row.userName, row.type, row.category}) {
        CopyField(buffer, field, std::strlen(field));
        buffer += '\t';
      }
      buffer += std::to_string(row.eventID) + '\t';
      CopyField(buffer, row.description, row.descriptionLength);
      buffer += '\n';
      if (buffer.size() > 65536) {
        PQputCopyData(pg, buffer.data(), static_cast<int>(buffer.size()));
        buffer.clear();
      }
    }
    PQputCopyData(pg, buffer.data(), static_cast<int>(buffer.size()));
    PQputCopyEnd(pg, nullptr);
    PGresult* result = PQgetResult(pg);
    if (PQresultStatus(result) != PGRES_COMMAND_OK) state.SkipWithError(PQresultErrorMessage(result));
    PQclear(result);
    PQfinish(pg);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(NativePostgresCopy)->Arg(20000)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

void EventStoreSqlite(benchmark::State& state) { ThroughEventStore(state, Kind::Sqlite); }
void EventStorePostgres(benchmark::State& state) { ThroughEventStore(state, Kind::Postgres); }
void EventStoreMariaDB(benchmark::State& state) { ThroughEventStore(state, Kind::Maria); }
BENCHMARK(EventStoreSqlite)->Arg(20000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(EventStorePostgres)->Arg(3000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(EventStoreMariaDB)->Arg(3000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
