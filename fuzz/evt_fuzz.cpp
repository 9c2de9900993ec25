// Arbitrary bytes as a computer's System log, read through OpenEventLogA and ReadEventLogA with
// buffers of varying size, then appended to: no crash, no hang, no read outside a record.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/eventlog/eventlog.h"

namespace {

struct Image {
  std::string root, file;
  Image() {
    // Kept in memory where there is a memory file system: every append syncs.
    char shm[] = "/dev/shm/tallyard-fuzz-evt-XXXXXX";
    char tmp[] = "/tmp/tallyard-fuzz-evt-XXXXXX";
    const char* made = ::mkdtemp(shm);
    if (!made) made = ::mkdtemp(tmp);
    if (!made) std::abort();
    root = made;
    std::string config = root + "/SRV1/C/WINNT/System32/config";
    std::filesystem::create_directories(config);
    std::ofstream(root + "/SRV1/host.ini") << "[host]\nsystemroot = C:\\WINNT\n";
    ::setenv("TALLYARD_NETWORK", root.c_str(), 1);
    file = config + "/SysEvent.Evt";
  }
  // A static of the target: it goes when the process ends, and so does its folder.
  ~Image() {
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Image image;
  {
    std::ofstream out(image.file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  HANDLE log = OpenEventLogA("SRV1", "System");
  if (log) {
    DWORD count = 0;
    GetNumberOfEventLogRecords(log, &count);
    // Buffer sizes from the input's first bytes: exact fits and near misses both get exercised.
    const DWORD sizes[] = {0, 0x40, 0x80, 0x200, 0x10000, 0x10000, 0x10000};
    std::vector<uint8_t> buffer(0x10000 + 64);
    for (int reads = 0; reads < 10000; ++reads) {
      DWORD want = sizes[(size > 0 ? data[reads % size] : 0) % 7];
      DWORD got = 0, need = 0;
      if (!ReadEventLogA(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, buffer.data(), want, &got, &need)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || need > 0x10000) break;
        want = need;
        if (!ReadEventLogA(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, buffer.data(), want, &got, &need))
          break;
      }
      if (got > want) std::abort();
    }
    CloseEventLog(log);
  }
  // The writer on the same bytes: it either appends cleanly or refuses.
  platform::EventLogLocation location;
  location.file = image.file;
  location.maxSize = 64 * 1024;
  location.retention = 0;
  platform::EventInput in;
  in.source = "Fuzz";
  in.computer = "SRV1";
  in.strings = {"one", "two"};
  in.data = {1, 2, 3};
  if (platform::AppendEventRecords(location, {in}) == ERROR_SUCCESS) {
    DWORD newest = 0;
    platform::NewestEventTime(location, newest);
  }
  return 0;
}
