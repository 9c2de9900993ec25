#include "browse/browse.h"

#include <cstdio>
#include <string>

#include "browse/browse_ui.h"
#include "platform/core/text.h"
#include "platform/core/threads.h"

namespace {

constexpr const char* kUnknown = "Unknown";

void MakeUnknown(ComputerRecord& record) {
  record.typeText = kUnknown;
  record.typeImage = TypeImageUnknown;
}

// The wait cursor for as long as the browse runs, on every path.
class WaitCursor {
 public:
  WaitCursor() : ui_(GetBrowseUi()) {
    if (ui_) ui_->ShowWaitCursor();
  }
  ~WaitCursor() {
    if (ui_) ui_->RestoreCursor();
  }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  BrowseUi* ui_;
};

}  // namespace

void DescribeServer(const SERVER_INFO_101& entry, ComputerRecord& record) {
  const DWORD type = entry.sv101_type;
  const char* role = nullptr;
  int32_t image = TypeImageUnknown;
  if (!(type & SV_TYPE_NT)) {
    role = nullptr;
  } else if (type & SV_TYPE_DOMAIN_CTRL) {
    role = "Primary Domain Controller";
    image = TypeImagePrimaryController;
  } else if (type & SV_TYPE_DOMAIN_BAKCTRL) {
    role = "Backup Domain Controller";
    image = TypeImageBackupController;
  } else if (type & SV_TYPE_SERVER_NT) {
    role = "Server";
    image = TypeImageServer;
  } else if (type & SV_TYPE_WORKSTATION) {
    role = "Workstation";
    image = TypeImageWorkstation;
  }
  if (!role) {
    MakeUnknown(record);
    return;
  }
  char version[48];
  std::snprintf(version, sizeof version, " (%li.%li)", static_cast<long>(entry.sv101_version_major & MAJOR_VERSION_MASK),
                static_cast<long>(entry.sv101_version_minor));
  record.typeText = std::string("Windows NT ") + role + version;
  record.typeImage = image;
}

ComputerRecord RecordFromServerInfo(const SERVER_INFO_101& entry) {
  // At most 15 characters of the wide name; the record then keeps its own rules (no leading
  // "\\", at most 15 bytes).
  ComputerRecord record = MakeRecordFromName(platform::NetUtf8FromWide(entry.sv101_name, kMaxComputerName));
  DescribeServer(entry, record);
  record.lookupThread = nullptr;
  return record;
}

bool BrowseNetwork(ComputerList& list) {
  WaitCursor cursor;
  list.Clear();
  DWORD preferred = kFirstBrowseBufferSize;
  LPBYTE buffer = nullptr;
  DWORD read = 0, total = 0;
  NET_API_STATUS rc = ERROR_MORE_DATA;
  // A larger buffer is asked for instead of resuming: the list is always one whole answer.
  for (int call = 0; call < kMaxBrowseCalls; ++call) {
    buffer = nullptr;
    rc = NetServerEnum(nullptr, 101, &buffer, preferred, &read, &total, kBrowseTypeMask, nullptr, nullptr);
    if (rc != ERROR_MORE_DATA) break;
    NetApiBufferFree(buffer);
    buffer = nullptr;
    preferred *= 2;
  }
  if (rc == NERR_Success && buffer) {
    const auto* entries = reinterpret_cast<const SERVER_INFO_101*>(buffer);
    for (DWORD i = 0; i < read; ++i) {
      if (entries[i].sv101_type & SV_TYPE_NT) list.Append(RecordFromServerInfo(entries[i]));
    }
  }
  // Whatever the answer, a buffer that came back is released.
  NetApiBufferFree(buffer);
  return true;
}

DWORD TypeLookupThread(LPVOID param) {
  auto& record = *static_cast<ComputerRecord*>(param);
  std::u16string server = u"\\\\" + platform::Utf8ToUtf16(record.name).substr(0, kMaxComputerName);
  LPWSTR serverName = reinterpret_cast<LPWSTR>(server.data());

  LPBYTE buffer = nullptr;
  NET_API_STATUS rc = RPC_S_SERVER_TOO_BUSY;
  for (int call = 0; call < kMaxLookupCalls; ++call) {
    buffer = nullptr;
    rc = NetServerGetInfo(serverName, 101, &buffer);
    if (rc != RPC_S_SERVER_TOO_BUSY) break;
    Sleep(kLookupRetryMs);
  }
  if (rc == NERR_Success && buffer) {
    DescribeServer(*reinterpret_cast<const SERVER_INFO_101*>(buffer), record);
  } else {
    MakeUnknown(record);
  }
  NetApiBufferFree(buffer);
  return 0;
}

void LookupComputerTypes(ComputerList& list, HWND owner) {
  const size_t n = list.Count();
  if (n == 0) return;
  size_t done = 0;
  BrowseUi* ui = GetBrowseUi();
  std::unique_ptr<LoadingWindow> window = ui ? ui->OpenLoadingWindow(owner) : nullptr;
  if (window) window->SetRange(n);

  // Every thread runs before the first wait: the whole lookup takes as long as the slowest.
  for (auto& record : list) {
    record.lookupThread = CreateThread(nullptr, 0, TypeLookupThread, &record, 0, &record.lookupThreadId);
    if (!record.lookupThread) MakeUnknown(record);
  }
  for (auto& record : list) {
    if (record.lookupThread) {
      WaitForSingleObject(record.lookupThread, INFINITE);
      CloseHandle(record.lookupThread);
      record.lookupThread = nullptr;
    }
    if (window) window->Step();
    if (++done == n && window) window->Close();
  }
}
