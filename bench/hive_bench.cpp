// Many subkeys under one key (as the classes under SOFTWARE): the cost of adding them in one
// change session, of adding them one session each, and of a one-value change afterwards; and
// the hive's size in each case ("hive_bytes"), which should follow its data, not the square of
// the subkeys.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/registry/hive_file.h"
#include "platform/registry/registry.h"

namespace {

struct Folder {
  std::string root;
  Folder() {
    char tmpl[] = "/tmp/tallyard-bench-XXXXXX";
    root = ::mkdtemp(tmpl);
  }
  ~Folder() { std::filesystem::remove_all(root); }
};

double FileBytes(const std::string& file) {
  struct stat st;
  return ::stat(file.c_str(), &st) == 0 ? static_cast<double>(st.st_size) : 0;
}

std::string KeyName(int64_t i) {
  char name[16];
  std::snprintf(name, sizeof name, "Key%05lld", static_cast<long long>(i));
  return name;
}

// `first`..`first + count - 1` subkeys of Classes, each with a value, in one session.
DWORD AddSubkeys(const std::string& file, int64_t first, int64_t count) {
  return platform::ChangeHive(file, [&](platform::Hive& hive) {
    for (int64_t i = first; i < first + count; ++i) {
      platform::HiveNode node = 0;
      if (DWORD rc = hive.CreatePath({"Classes", KeyName(i)}, node)) return rc;
      if (DWORD rc = hive.SetValue(node, "", platform::StringValue(REG_SZ, "class " + std::to_string(i)))) return rc;
    }
    return DWORD{ERROR_SUCCESS};
  });
}

void BM_SubkeysInOneSession(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    Folder folder;
    const std::string file = folder.root + "/SOFTWARE";
    platform::CreateHiveFile(file, 0600);
    state.ResumeTiming();
    if (AddSubkeys(file, 0, state.range(0)) != ERROR_SUCCESS) state.SkipWithError("the change failed");
    state.counters["hive_bytes"] = FileBytes(file);
  }
}

void BM_SubkeysOneSessionEach(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    Folder folder;
    const std::string file = folder.root + "/SOFTWARE";
    platform::CreateHiveFile(file, 0600);
    state.ResumeTiming();
    for (int64_t i = 0; i < state.range(0); ++i)
      if (AddSubkeys(file, i, 1) != ERROR_SUCCESS) state.SkipWithError("a change failed");
    state.counters["hive_bytes"] = FileBytes(file);
  }
}

// One value changed in a hive that holds `range(0)` subkeys under one key.
void BM_OneChangeAfterSubkeys(benchmark::State& state) {
  Folder folder;
  const std::string file = folder.root + "/SOFTWARE";
  platform::CreateHiveFile(file, 0600);
  AddSubkeys(file, 0, state.range(0));
  DWORD n = 0;
  for (auto _ : state) {
    DWORD rc = platform::ChangeHive(file, [&](platform::Hive& hive) {
      platform::HiveNode node = 0;
      if (DWORD r = hive.CreatePath({"Settings"}, node)) return r;
      return hive.SetValue(node, "Counter", platform::DwordValue(++n));
    });
    if (rc != ERROR_SUCCESS) state.SkipWithError("the change failed");
  }
  state.counters["hive_bytes"] = FileBytes(file);
}

}  // namespace

BENCHMARK(BM_SubkeysInOneSession)->Arg(1000)->Arg(4000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_SubkeysOneSessionEach)->Arg(500)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_OneChangeAfterSubkeys)->Arg(4000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_MAIN();
