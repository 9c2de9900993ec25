// Reads one event log of one computer: opens and counts it, builds the log's message file
// resolver, reads the records oldest first in blocks, walks each block in place, clears the log
// on request, and carries the outcome of the log's gather.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "frame/run_progress.h"
#include "gather/message_file_resolver.h"
#include "platform/eventlog/eventlog.h"
#include "platform/core/handles.h"
#include "platform/core/win32.h"
#include "store/event_store.h"

// The outcome of one log's gather; copied into the computer's ResultSlot.
struct LogResult {
  DWORD status = 0;       // string-table identifier of the outcome
  int32_t errorCode = 0;  // platform error code, or 0
  char errorText[50] = {};  // the SQLSTATE for status 17
};

class EventLogReader;

// Handed every record of a block in order; false stops the walk (the consumer has set the result).
using RecordConsumer = std::function<bool(EventLogReader& reader, const EVENTLOGRECORD* record)>;


class EventLogReader {
 public:
  // `progress` is the run's progress window (its bar shows the records walked), or null.
  EventLogReader(RunProgress* progress, const char* logName);
  ~EventLogReader();
  EventLogReader(const EventLogReader&) = delete;
  EventLogReader& operator=(const EventLogReader&) = delete;

  bool Open(const char* computerName);
  bool ReadNext();
  bool WalkBuffer(const RecordConsumer& consumer);
  bool Clear();
  void Close();

  // Empties the open log after saving it to `backupFile` (ClearEventLogA with a backup name);
  // status 24 with the platform's error on failure.
  bool Clear(const char* backupFile);

  // Replaces the record buffer by a new one of `size` bytes (the gather gives the first one).
  void NewBuffer(DWORD size);

  // The progress bar, when there is a window.
  void ShowRange(DWORD count);
  void ShowPosition(DWORD position);

  char logName[260] = {};
  RunProgress* progress = nullptr;
  HWND owner = nullptr;  // the progress window: the owner of the store's error boxes
  HANDLE logHandle = nullptr;
  DWORD recordCount = 0;
  std::unique_ptr<uint8_t[]> buffer;
  DWORD bufferSize = 0;
  DWORD bytesRead = 0;
  char computerName[50] = {};
  std::unique_ptr<MessageFileResolver> resolver;
  DWORD processed = 0;
  // The gather state kept per log.
  DWORD uncommitted = 0;
  DWORD lastTime = 0;
  DWORD storedAtLastTime = 0;
  DWORD skippedAtLastTime = 0;
  std::vector<StoredRow> rowsAtLastTime;  // the stored rows of the last gathered second, not yet met
  EventStore* store = nullptr;            // the store of the log being gathered
  LogResult result;
};
