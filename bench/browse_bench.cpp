// The type lookup of a long list: one thread per computer, so the whole lookup should take about
// as long as its slowest computer (here ten busy answers, about five seconds), not the sum.
// Reports total, slowest single lookup and their ratio (goal: at most 1.2).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "browse/browse.h"
#include "platform/core/network.h"

namespace {

constexpr int kComputers = 1000;
constexpr int kBusyEvery = 100;  // ten of the thousand answer busy ten times

class BenchNetwork {
 public:
  BenchNetwork() {
    char tmpl[] = "/tmp/tallyard-bench-XXXXXX";
    root_ = ::mkdtemp(tmpl);
    const std::string network = root_ + "/network";
    ::setenv("TALLYARD_NETWORK", network.c_str(), 1);
    ::setenv("COMPUTERNAME", "ADMINPC", 1);
    static const char* roles[] = {"workstation", "server", "bdc", "workstation"};
    for (int i = 0; i < kComputers; ++i) {
      platform::HostInfo host;
      host.domain = "LAB";
      host.role = i == 0 ? "pdc" : roles[i % 4];
      if (i % kBusyEvery == kBusyEvery / 2) host.busy = 10;
      std::filesystem::create_directories(network + "/" + Name(i));
      platform::WriteHostInfo(network + "/" + Name(i) + "/host.ini", host);
    }
  }
  ~BenchNetwork() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  static std::string Name(int i) {
    char name[16];
    std::snprintf(name, sizeof name, "PC%04d", i);
    return name;
  }

 private:
  std::string root_;
};

double SecondsOf(ComputerList& list) {
  const auto start = std::chrono::steady_clock::now();
  LookupComputerTypes(list, nullptr);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_LookupComputerTypes1000(benchmark::State& state) {
  BenchNetwork net;
  double total = 0, slowest = 0;
  for (auto _ : state) {
    // The slowest single lookup: one busy computer alone.
    ComputerList one;
    one.Append(MakeRecordFromName(BenchNetwork::Name(kBusyEvery / 2)));
    slowest = SecondsOf(one);

    ComputerList all;
    for (int i = 0; i < kComputers; ++i) all.Append(MakeRecordFromName(BenchNetwork::Name(i)));
    total = SecondsOf(all);
    state.SetIterationTime(total);

    int unknown = 0;
    for (const auto& r : all) unknown += r.typeImage == TypeImageUnknown;
    state.counters["unknown"] = unknown;
    if (unknown != kComputers / kBusyEvery) state.SkipWithError("wrong number of Unknown records");
  }
  state.counters["total_s"] = total;
  state.counters["slowest_single_s"] = slowest;
  state.counters["ratio"] = total / slowest;
}
BENCHMARK(BM_LookupComputerTypes1000)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
