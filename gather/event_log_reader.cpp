#include "gather/event_log_reader.h"

#include <cstring>

#include "frame/computer_list.h"
#include "frame/settings.h"
#include "frame/strings.h"

namespace {
constexpr DWORD kSequentialForwards = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ;

bool Cancelled() { return CancelRequested.load(std::memory_order_relaxed) != 0; }
}  // namespace

EventLogReader::EventLogReader(RunProgress* runProgress, const char* name)
    : progress(runProgress), owner(runProgress ? runProgress->Owner() : nullptr) {
  CopyText(logName, sizeof logName, name ? name : "");
}

void EventLogReader::ShowRange(DWORD count) {
  if (progress) progress->SetRange(count);
}

void EventLogReader::ShowPosition(DWORD position) {
  if (progress) progress->SetPosition(position);
}

EventLogReader::~EventLogReader() { Close(); }

bool EventLogReader::Open(const char* computer) {
  CopyText(computerName, sizeof computerName, computer ? computer : "");
  logHandle = OpenEventLogA(computer, logName);
  if (!logHandle || !GetNumberOfEventLogRecords(logHandle, &recordCount)) {
    result.status = IDS_UNABLE_TO_OPEN_LOG;
    result.errorCode = static_cast<int32_t>(GetLastError());
    return false;
  }
  bool ok = false;
  resolver = std::make_unique<MessageFileResolver>(gatherSettings.loadDescriptions != 0 ? computer : nullptr,
                                                   logName, ok);
  if (!ok) {
    result.status = IDS_REGISTRY_UNAVAILABLE;
    result.errorCode = resolver->lastRegistryError();
    return false;
  }
  return true;
}

void EventLogReader::NewBuffer(DWORD size) {
  buffer.reset(new uint8_t[size == 0 ? 1 : size]);
  bufferSize = size;
  bytesRead = 0;
}

bool EventLogReader::ReadNext() {
  for (int attempt = 0; attempt < 2; ++attempt) {
    DWORD needed = 0;
    bytesRead = 0;
    if (ReadEventLogA(logHandle, kSequentialForwards, 0, buffer.get(), bufferSize, &bytesRead, &needed)) return true;
    DWORD error = GetLastError();
    if (error != ERROR_INSUFFICIENT_BUFFER) {
      bytesRead = 0;
      result.status = IDS_UNABLE_TO_READ_LOG;
      result.errorCode = static_cast<int32_t>(error);
      return false;
    }
    // The next record alone is larger than the buffer: take one of exactly its size.
    NewBuffer(needed);
  }
  // Two reads were refused; the caller's next call reads into the latest buffer.
  bytesRead = 0;
  return true;
}

bool EventLogReader::WalkBuffer(const RecordConsumer& consumer) {
  if (Cancelled()) {
    result.status = IDS_OPERATION_CANCELLED;
    result.errorCode = 0;
    return false;
  }
  DWORD offset = 0;
  while (offset < bytesRead) {
    const uint8_t* at = buffer.get() + offset;
    DWORD length;
    std::memcpy(&length, at, sizeof length);
    // A length that would not move on, or would leave the block, cannot come from the platform;
    // refuse it rather than loop or read past the records.
    if (length < sizeof(EVENTLOGRECORD) || length > bytesRead - offset) {
      result.status = IDS_UNABLE_TO_READ_LOG;
      result.errorCode = ERROR_EVENTLOG_FILE_CORRUPT;
      return false;
    }
    offset += length;
    ++processed;
    if (!consumer(*this, reinterpret_cast<const EVENTLOGRECORD*>(at))) return false;
    if (Cancelled()) {
      result.status = IDS_OPERATION_CANCELLED;
      result.errorCode = 0;
      return false;
    }
  }
  return true;
}

bool EventLogReader::Clear() { return Clear(nullptr); }

bool EventLogReader::Clear(const char* backupFile) {
  if (!ClearEventLogA(logHandle, backupFile)) {
    result.status = IDS_UNABLE_TO_CLEAR_LOG;
    result.errorCode = static_cast<int32_t>(GetLastError());
    return false;
  }
  return true;
}

void EventLogReader::Close() {
  if (logHandle) {
    CloseEventLog(logHandle);
    logHandle = nullptr;
  }
  buffer.reset();
  bufferSize = 0;
  bytesRead = 0;
  recordCount = 0;
  resolver.reset();
}
