// Records per second read from a large System log through ReadEventLogA and the gather's
// EventLogReader (10,000-byte start buffer, WalkBuffer touching every record's fields), beside
// two limits on the same file: our raw scan of the file (read it and step over the records) and
// libevt's evtexport (an independent reader, its output thrown away). The peak memory of a read
// is measured in a process of its own, so the figure is the reader's and not the generator's.
// Rates are given per wall second (items_per_second) and per CPU second (records_per_cpu_s, for
// evtexport its own CPU time): on a shared machine the second is the steadier comparison.
//   eventlog_bench [--benchmark_filter=...]      logs of 100,000 and 1,000,000 records
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "gather/event_log_reader.h"
#include "platform/eventlog/eventlog.h"
#include "platform/eventlog/evt_format.h"

namespace {

// The bench's network lives as long as the process; logs are made once per size.
const std::string& Root() {
  static std::string root = [] {
    char tmpl[] = "/tmp/tallyard-bench-evt-XXXXXX";
    std::string r = ::mkdtemp(tmpl);
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(Root(), ec);
    });
    return r;
  }();
  return root;
}

std::string Network(int64_t records) { return Root() + "/net" + std::to_string(records); }

std::string LogFile(int64_t records) { return Network(records) + "/SRV1/C/WINNT/System32/config/SysEvent.Evt"; }

void UseNetwork(int64_t records) {
  ::setenv("TALLYARD_NETWORK", Network(records).c_str(), 1);
  ::setenv("COMPUTERNAME", "ADMINPC", 1);
}

// Records as a busy server writes them: a few sources, SIDs on most, up to four strings of
// realistic length, binary data on some.
void MakeLog(int64_t records) {
  if (std::filesystem::exists(LogFile(records))) return;
  std::filesystem::create_directories(Network(records) + "/SRV1/C/WINNT/System32/config");
  std::ofstream(Network(records) + "/SRV1/host.ini") << "[host]\nsystemroot = C:\\WINNT\n";
  platform::EventLogLocation loc;
  loc.file = LogFile(records);
  loc.maxSize = 0xFFFF0000u;
  loc.retention = 0;
  static const char* const kSources[] = {"Service Control Manager", "EventLog", "NetLogon", "Srv",
                                         "Browser", "Print", "Tcpip", "W32Time"};
  static const char* const kWords[] = {"service", "network", "domain", "controller", "account", "failed", "started",
                                       "printer", "session", "workstation", "\\Device\\NetBT_E100B1"};
  std::mt19937 rng(42);
  DWORD clock = 946713600;
  std::vector<platform::EventInput> batch;
  for (int64_t done = 0; done < records;) {
    batch.clear();
    for (int i = 0; i < 8192 && done < records; ++i, ++done) {
      platform::EventInput in;
      in.source = kSources[rng() % 8];
      in.computer = "SRV1";
      if (rng() % 4 == 0) ++clock;
      in.timeGenerated = in.timeWritten = clock;
      in.eventId = 7036 + rng() % 8;
      in.eventType = EVENTLOG_INFORMATION_TYPE;
      in.eventCategory = static_cast<WORD>(rng() % 5);
      if (rng() % 3) in.userSid = {1, 5, 0, 0, 0, 0, 0, 5, 21, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0xF4, 1, 0, 0};
      for (unsigned s = rng() % 5; s > 0; --s) {
        std::string text;
        for (unsigned w = 1 + rng() % 6; w > 0; --w) text += std::string(kWords[rng() % 11]) + " ";
        in.strings.push_back(text + std::to_string(done));
      }
      if (rng() % 4 == 0) in.data.assign(4 * (1 + rng() % 16), static_cast<uint8_t>(done));
      batch.push_back(std::move(in));
    }
    if (platform::AppendEventRecords(loc, batch) != ERROR_SUCCESS) std::abort();
  }
}

// One whole read as the gather does it; returns the records walked.
int64_t ReadThroughReader() {
  EventLogReader reader(nullptr, "System");
  reader.logHandle = OpenEventLogA("SRV1", "System");
  if (!reader.logHandle || !GetNumberOfEventLogRecords(reader.logHandle, &reader.recordCount)) std::abort();
  reader.NewBuffer(10000);
  uint64_t sum = 0;
  auto consumer = [&](EventLogReader&, const EVENTLOGRECORD* r) {
    sum += r->TimeWritten + r->EventID + r->NumStrings + r->DataLength + r->StringOffset;
    return true;
  };
  while (reader.processed < reader.recordCount) {
    if (!reader.ReadNext() || !reader.WalkBuffer(consumer)) std::abort();
  }
  benchmark::DoNotOptimize(sum);
  return reader.processed;
}

// The file read once front to back in large blocks, stepping over each record by its length.
int64_t RawScan(const std::string& file) {
  int fd = ::open(file.c_str(), O_RDONLY);
  std::vector<uint8_t> buf(1 << 20);
  uint8_t header[platform::evt::kHeaderSize];
  if (::pread(fd, header, sizeof header, 0) != static_cast<ssize_t>(sizeof header)) std::abort();
  const auto h = platform::evt::ReadHeader(header);
  uint64_t off = h.startOffset, base = 0;
  size_t have = 0;
  int64_t n = 0;
  while (off < h.endOffset) {
    if (off < base || off + platform::evt::kFixedSize > base + have) {
      base = off;
      ssize_t got = ::pread(fd, buf.data(), buf.size(), static_cast<off_t>(off));
      if (got <= 0) break;
      have = static_cast<size_t>(got);
    }
    uint32_t length = platform::LoadLe32(buf.data() + (off - base));
    if (length < platform::evt::kFixedSize) break;
    off += length;
    ++n;
  }
  ::close(fd);
  return n;
}

// CPU seconds of this process, or of its finished children: rates that a busy machine does not
// bend as much as wall time.
double CpuSeconds(int who) {
  struct rusage ru;
  ::getrusage(who, &ru);
  return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
         static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

long PeakKiB() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

// Peak resident memory of a process that does nothing but the read.
double ReadPeakKiB(int64_t records) {
  char self[4096] = {};
  if (::readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return -1;
  std::string cmd = std::string(self) + " --read-peak " + std::to_string(records);
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return -1;
  char buf[64] = {};
  size_t n = std::fread(buf, 1, sizeof buf - 1, p);
  ::pclose(p);
  return n ? std::atof(buf) : -1;
}

void BM_ReadEventLogA(benchmark::State& state) {
  const int64_t records = state.range(0);
  MakeLog(records);
  UseNetwork(records);
  const double cpu = CpuSeconds(RUSAGE_SELF);
  for (auto _ : state) {
    if (ReadThroughReader() != records) std::abort();
  }
  state.SetItemsProcessed(state.iterations() * records);
  state.counters["records_per_cpu_s"] =
      static_cast<double>(state.iterations() * records) / (CpuSeconds(RUSAGE_SELF) - cpu);
  state.counters["peak_rss_KiB"] = ReadPeakKiB(records);
}

void BM_RawScan(benchmark::State& state) {
  const int64_t records = state.range(0);
  MakeLog(records);
  for (auto _ : state) {
    if (RawScan(LogFile(records)) != records) std::abort();
  }
  state.SetItemsProcessed(state.iterations() * records);
}

void BM_Evtexport(benchmark::State& state) {
  const int64_t records = state.range(0);
  MakeLog(records);
  if (std::system("command -v evtexport >/dev/null 2>&1") != 0) {
    state.SkipWithError("evtexport is not installed (Debian libevt-utils)");
    return;
  }
  const std::string cmd = "evtexport '" + LogFile(records) + "' >/dev/null 2>&1";
  const double cpu = CpuSeconds(RUSAGE_CHILDREN);
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    if (std::system(cmd.c_str()) != 0) std::abort();
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  state.SetItemsProcessed(state.iterations() * records);
  state.counters["records_per_cpu_s"] =
      static_cast<double>(state.iterations() * records) / (CpuSeconds(RUSAGE_CHILDREN) - cpu);
}

BENCHMARK(BM_ReadEventLogA)->Arg(100000)->Arg(1000000)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawScan)->Arg(100000)->Arg(1000000)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Evtexport)->Arg(100000)->Arg(1000000)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--read-peak") == 0) {
    // The child of ReadPeakKiB: the parent's network is inherited through the environment.
    if (ReadThroughReader() != std::atoll(argv[2])) return 1;
    std::printf("%ld\n", PeakKiB());
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
