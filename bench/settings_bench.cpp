// Cost of one LoadSettings and one SaveSettings over the local computer's SOFTWARE hive.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "frame/app_state.h"
#include "frame/run_log.h"
#include "frame/settings.h"
#include "platform/registry/hive_image.h"
#include "platform/registry/registry.h"

namespace {

// A private network with this computer's image and both settings keys, for the whole run.
struct Installation {
  std::string root;
  Installation() {
    char tmpl[] = "/tmp/tallyard-bench-XXXXXX";
    root = ::mkdtemp(tmpl);
    ::setenv("TALLYARD_NETWORK", (root + "/network").c_str(), 1);
    ::setenv("COMPUTERNAME", "ADMINPC", 1);
    platform::ImageSpec spec;
    spec.name = "ADMINPC";
    platform::BuildComputerImage(spec);
    platform::ComputerImage local;
    platform::FindComputer("ADMINPC", local);
    for (const char* key : {"SOFTWARE\\Quillon\\Tallyard\\CurrentVersion", "SOFTWARE\\Quillon\\Tallyard\\CurrentVersion\\Praxon"})
      platform::WriteImageValue(local, key, "InstallPath", platform::StringValue(REG_SZ, root + "/install"), true);
  }
  ~Installation() { std::filesystem::remove_all(root); }
};

Installation& Install() {
  static Installation installation;
  return installation;
}

void Load(benchmark::State& state, Program program) {
  Install();
  appState.program = program;
  for (auto _ : state) benchmark::DoNotOptimize(LoadSettings());
}

// `change`: every value differs from the stored one, so each write is a commit of the hive.
void Save(benchmark::State& state, Program program, bool change) {
  Install();
  appState.program = program;
  LoadSettings();
  std::strcpy(dataSourceSettings.dsn, "Corvane");
  DWORD n = 0;
  for (auto _ : state) {
    if (change) {
      ++n;
      runLog.level = static_cast<int32_t>(n % 3);
      runLog.mode = static_cast<int32_t>(n % 2);
      runLog.fileName = "/var/log/tallyard-" + std::to_string(n % 2) + ".log";
      dataSourceSettings.type = n;
      std::strcpy(dataSourceSettings.description, n % 2 ? "SQLite3" : "PostgreSQL Unicode");
      std::strcpy(dataSourceSettings.user, n % 2 ? "a" : "b");
      std::strcpy(dataSourceSettings.password, n % 2 ? "x" : "y");
      dataSourceSettings.regAccess = n;
      gatherSettings = GatherSettings{n, n, n, n};
      praxonTimeOut = n;
      policySettings.auditingMode = static_cast<int32_t>(n % 2);
      for (auto& c : policySettings.successChoices) c = static_cast<AuditChoice>(n % 3);
      for (auto& c : policySettings.failureChoices) c = static_cast<AuditChoice>((n + 1) % 3);
    }
    benchmark::DoNotOptimize(SaveSettings());
  }
}

void BM_LoadSettingsCorvane(benchmark::State& s) { Load(s, Program::Corvane); }
void BM_LoadSettingsPraxon(benchmark::State& s) { Load(s, Program::Praxon); }
void BM_SaveSettingsCorvaneUnchanged(benchmark::State& s) { Save(s, Program::Corvane, false); }
void BM_SaveSettingsCorvaneAllChanged(benchmark::State& s) { Save(s, Program::Corvane, true); }
void BM_SaveSettingsPraxonUnchanged(benchmark::State& s) { Save(s, Program::Praxon, false); }
void BM_SaveSettingsPraxonAllChanged(benchmark::State& s) { Save(s, Program::Praxon, true); }

BENCHMARK(BM_LoadSettingsCorvane)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadSettingsPraxon)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SaveSettingsCorvaneUnchanged)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SaveSettingsCorvaneAllChanged)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveSettingsPraxonUnchanged)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SaveSettingsPraxonAllChanged)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
