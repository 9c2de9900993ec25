// Rows per second through BuildEventRow for a typical record (three inserts, one of them a
// parameter message; the event, category and parameter files loaded and freed per record),
// with the platform's module cache and without it; and the pieces: one FormatMessageA on a
// loaded module, one load+free through the cache, and the raw parse of a DLL in memory (the
// floor of an uncached load).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "gather/event_row.h"
#include "platform/messages/message_module.h"
#include "platform/messages/pe_resources.h"
#include "tests/gather/event_row_test.h"

namespace {

struct Image {
  std::string root;
  std::unique_ptr<EventLogReader> reader;
  std::vector<uint32_t> record;
  Image() {
    char tmpl[] = "/tmp/tallyard-bench-XXXXXX";
    root = ::mkdtemp(tmpl);
    ::setenv("TALLYARD_NETWORK", (root + "/network").c_str(), 1);
    ::setenv("COMPUTERNAME", "ADMINPC", 1);
    std::filesystem::create_directories(root + "/network");
    rowtest::MakeImage(root + "/network");
    reader = rowtest::MakeReader();
    rowtest::RecordSpec spec;
    spec.eventId = 10;
    spec.category = 1;
    spec.strings = {"alice", "%%1234", "WS1"};
    spec.sid = platform::MakeSid(5, {18});
    spec.data = {1, 2, 3, 4};
    record = rowtest::MakeRecord(spec);
  }
  ~Image() {
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }
};

Image& TheImage() {
  static Image image;
  return image;
}

void BuildRows(benchmark::State& state, bool cache) {
  Image& image = TheImage();
  platform::SetModuleCacheEnabled(cache);
  for (auto _ : state) {
    BuiltEventRow row = BuildEventRow(*image.reader, rowtest::Rec(image.record));
    benchmark::DoNotOptimize(row.row.descriptionLength);
  }
  state.SetItemsProcessed(state.iterations());
  platform::SetModuleCacheEnabled(true);
}

void BM_BuildEventRow_Cached(benchmark::State& state) { BuildRows(state, true); }
void BM_BuildEventRow_Uncached(benchmark::State& state) { BuildRows(state, false); }

void BM_FormatMessage_LoadedModule(benchmark::State& state) {
  Image& image = TheImage();
  std::string path = image.root + "/network/SRV1/C/WINNT/System32/svcmsg.dll";
  HMODULE m = LoadLibraryExA(path.c_str(), nullptr, 3);
  for (auto _ : state) {
    char* text = nullptr;
    DWORD n = FormatMessageA(0x0B00, m, 10, 0x400, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    benchmark::DoNotOptimize(n);
    LocalFree(text);
  }
  FreeLibrary(m);
  state.SetItemsProcessed(state.iterations());
}

void LoadFree(benchmark::State& state, bool cache) {
  TheImage();
  std::string path = "\\\\SRV1\\C$\\WINNT\\System32\\svcmsg.dll";
  platform::SetModuleCacheEnabled(cache);
  for (auto _ : state) {
    HMODULE m = LoadLibraryExA(path.c_str(), nullptr, 3);
    benchmark::DoNotOptimize(m);
    FreeLibrary(m);
  }
  state.SetItemsProcessed(state.iterations());
  platform::SetModuleCacheEnabled(true);
}

void BM_LoadFree_Cached(benchmark::State& state) { LoadFree(state, true); }
void BM_LoadFree_Uncached(benchmark::State& state) { LoadFree(state, false); }

void BM_RawParse(benchmark::State& state) {
  std::vector<uint8_t> dll = platform::WriteMessageDll(
      {{0x0409, {{7000, "The %1 service failed to start due to the following error: %n%2\r\n"}, {10, "Typical"}}}});
  for (auto _ : state) {
    platform::MessageTables tables;
    benchmark::DoNotOptimize(platform::ReadMessageTables(dll.data(), dll.size(), tables));
  }
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_BuildEventRow_Cached);
BENCHMARK(BM_BuildEventRow_Uncached);
BENCHMARK(BM_FormatMessage_LoadedModule);
BENCHMARK(BM_LoadFree_Cached);
BENCHMARK(BM_LoadFree_Uncached);
BENCHMARK(BM_RawParse);
BENCHMARK_MAIN();
