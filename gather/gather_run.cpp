#include "gather/gather_run.h"

#include <array>
#include <memory>
#include <mutex>
#include <string>

#include "frame/computer_list.h"
#include "frame/settings.h"
#include "frame/strings.h"
#include "gather/event_row.h"
#include "gather/event_time.h"
#include "gather/gather_report.h"
#include "platform/core/paths.h"
#include "store/event_store.h"

HANDLE GatherThread = nullptr;

namespace {

constexpr DWORD kFirstBufferSize = 10000;
const char* const kLogNames[3] = {"System", "Security", "Application"};
const char* const kSlotNames[3] = {"System     ", "Security   ", "Application"};

// The slots are written by the worker and read by the report; an unattended run that stops
// waiting reports them while the worker may still run, so both sides take this lock and an
// abandoned worker writes nothing more.
std::mutex slotLock;
bool abandoned = false;

void SetSlot(ResultSlot& slot, const LogResult& result, bool keepText) {
  std::lock_guard<std::mutex> guard(slotLock);
  if (abandoned) return;
  slot.status = result.status;
  slot.errorCode = result.errorCode;
  if (!keepText) CopyText(slot.errorText, sizeof slot.errorText, result.errorText);
}

bool StoreFailed(EventLogReader& reader) {
  reader.result.status = IDS_UNABLE_TO_WRITE_LOG;
  reader.result.errorCode = 0;
  CopyText(reader.result.errorText, sizeof reader.result.errorText, reader.store->SqlState());
  return false;
}

// Steps 5 to 8 for the log the reader has open now: where the database stands for this computer,
// the progress window, and the insert.
bool ResumeAndPrepare(EventLogReader& reader, const char* computer) {
  EventStore& store = *reader.store;
  reader.storedAtLastTime = 0;
  reader.skippedAtLastTime = 0;
  TIMESTAMP_STRUCT stamp{};
  SQLINTEGER count = 0;
  if (!store.QueryResumePoint(reader.owner, reader.logName, computer, &stamp, &count)) return StoreFailed(reader);
  reader.storedAtLastTime = count > 0 ? static_cast<DWORD>(count) : 0;
  reader.lastTime = reader.storedAtLastTime != 0 ? ParseStoredTime(stamp) : 0;
  reader.rowsAtLastTime.clear();
  if (reader.storedAtLastTime != 0 && !store.ReadRowsAt(reader.owner, reader.logName, computer, stamp, reader.rowsAtLastTime))
    return StoreFailed(reader);
  if (reader.progress) reader.progress->SetText(std::string(computer) + " " + reader.logName);
  reader.ShowRange(reader.recordCount);
  reader.ShowPosition(0);
  if (!store.PrepareInsert(reader.owner, reader.logName)) return StoreFailed(reader);
  return true;
}

bool CommitRest(EventLogReader& reader) {
  if (reader.uncommitted == 0) return true;
  if (!reader.store->Commit(reader.owner)) return StoreFailed(reader);
  reader.uncommitted = 0;
  return true;
}

// Step 9: the records up to the count taken at the open. `toRealEnd` goes on to the end the log
// has now and commits every stored row: nothing walked may be rolled back when the log is about
// to be emptied, or the file read is about to be removed.
bool WalkRecords(EventLogReader& reader, bool toRealEnd) {
  reader.processed = 0;
  reader.uncommitted = 0;
  auto fail = [&] {
    reader.ShowPosition(0);
    return false;
  };
  while (reader.processed < reader.recordCount) {
    if (!reader.ReadNext() || !reader.WalkBuffer(StoreRecord)) return fail();
    reader.ShowPosition(reader.processed);
  }
  if (toRealEnd) {
    for (;;) {
      const LogResult before = reader.result;
      if (!reader.ReadNext()) {
        if (reader.result.errorCode != static_cast<int32_t>(ERROR_HANDLE_EOF)) return fail();
        reader.result = before;
        break;
      }
      if (!reader.WalkBuffer(StoreRecord)) return fail();
    }
    if (!CommitRest(reader)) return fail();
  }
  reader.ShowPosition(0);
  return true;
}

// A saved log exists when it opens; one that is there but does not open is left alone here
// (clearing then refuses to overwrite it, and says so).
bool SavedLogExists(const char* computer, const std::string& saved) {
  HANDLE h = OpenBackupEventLogA(computer, saved.c_str());
  if (!h) return false;
  CloseEventLog(h);
  return true;
}

// Stores what the saved log holds beyond the database (the incremental rule decides, as for the
// live log), then removes the file. The live log's handle waits meanwhile.
bool StoreSavedLog(EventLogReader& reader, const char* computer, const std::string& saved) {
  HANDLE h = OpenBackupEventLogA(computer, saved.c_str());
  DWORD count = 0;
  if (!h || !GetNumberOfEventLogRecords(h, &count)) {
    reader.result.status = IDS_UNABLE_TO_READ_LOG;
    reader.result.errorCode = static_cast<int32_t>(GetLastError());
    if (h) CloseEventLog(h);
    return false;
  }
  HANDLE live = reader.logHandle;
  const DWORD liveCount = reader.recordCount;
  reader.logHandle = h;
  reader.recordCount = count;
  bool ok = ResumeAndPrepare(reader, computer) && WalkRecords(reader, true);
  if (reader.logHandle == h) {
    CloseEventLog(h);
    reader.logHandle = live;
    reader.recordCount = liveCount;
  } else {
    CloseEventLog(live);  // a failed commit closed the reader, and with it the saved log
  }
  if (ok && !DeleteFileA(saved.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
    reader.result.status = IDS_UNABLE_TO_CLEAR_LOG;
    reader.result.errorCode = static_cast<int32_t>(GetLastError());
    ok = false;
  }
  return ok;
}

bool SameSecond(const TIMESTAMP_STRUCT& a, const TIMESTAMP_STRUCT& b) {
  return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour && a.minute == b.minute &&
         a.second == b.second;
}

// Takes the stored row that is this record's row, if there is one left.
bool TakeStoredRow(EventLogReader& reader, const EventRow& row) {
  auto& rows = reader.rowsAtLastTime;
  for (auto it = rows.begin(); it != rows.end(); ++it) {
    if (it->source == row.source && it->eventID == static_cast<SQLBIGINT>(row.eventID) &&
        SameSecond(it->eventDate, row.eventDate) &&
        std::string_view(it->description) == std::string_view(row.description ? row.description : "", row.descriptionLength)) {
      rows.erase(it);
      return true;
    }
  }
  return false;
}

DWORD GatherThreadMain(LPVOID progress) { return GatherWorker(static_cast<RunProgress*>(progress)); }

}  // namespace

std::string SavedLogName(const char* computer, const char* logName) {
  return std::string("\\\\") + computer + "\\ADMIN$\\System32\\config\\Corvane-" + logName + ".evt";
}

void AbandonGatherRun() {
  std::lock_guard<std::mutex> guard(slotLock);
  abandoned = true;
}

bool StoreRecord(EventLogReader& reader, const EVENTLOGRECORD* record) {
  const DWORD t = record->TimeWritten;
  if (t < reader.lastTime) return true;
  EventStore& store = *reader.store;
  {
    BuiltEventRow row = BuildEventRow(reader, record);
    // A record of the last stored second is one of the stored rows only if one of them is the
    // same event: a log cleared since holds none of them, and its first records of that second
    // are new.
    if (t == reader.lastTime && reader.skippedAtLastTime < reader.storedAtLastTime && TakeStoredRow(reader, row.row)) {
      ++reader.skippedAtLastTime;
      return true;
    }
    if (!store.InsertRow(reader.owner, row.row)) return StoreFailed(reader);
  }
  if (reader.uncommitted < gatherSettings.transactionPeriod && reader.processed != reader.recordCount) {
    ++reader.uncommitted;
    return true;
  }
  if (!store.Commit(reader.owner)) {
    StoreFailed(reader);
    store.Finish(reader.owner);
    reader.store = nullptr;  // finished: the gather of the log does not finish it again
    reader.Close();
    return false;
  }
  reader.uncommitted = 0;
  return true;
}

bool GatherLog(EventLogReader& reader, const char* computer) {
  reader.result = LogResult{};
  reader.processed = 0;
  if (!reader.Open(computer)) {
    reader.Close();
    return false;
  }
  // Records saved by a clear whose gather did not end are older than anything in the log now,
  // so they go first.
  const std::string saved = SavedLogName(computer, reader.logName);
  const bool leftover = SavedLogExists(computer, saved);
  if (reader.recordCount == 0 && !leftover) {
    reader.result.status = IDS_COMPLETED;
    reader.Close();
    return true;
  }
  reader.NewBuffer(kFirstBufferSize);
  EventStore store;
  reader.store = &store;
  if (!store.OpenEnvironment() || !store.Connect(reader.owner, dataSourceSettings)) {
    StoreFailed(reader);
    reader.store = nullptr;
    reader.Close();
    store.ReleaseEnvironment();
    return false;
  }
  const bool erase = gatherSettings.eraseLogs != 0 && reader.recordCount != 0;
  bool ok = !leftover || StoreSavedLog(reader, computer, saved);
  if (ok && reader.recordCount != 0) ok = ResumeAndPrepare(reader, computer) && WalkRecords(reader, erase);
  // Every row is committed by now. The clear saves the log and empties it under one lock; what
  // came in after the last read is then stored from the saved file, which a crash leaves for
  // the next run.
  if (ok && erase) ok = reader.Clear(saved.c_str()) && StoreSavedLog(reader, computer, saved);
  if (reader.store) {
    const bool finished = store.Finish(reader.owner);
    if (ok && !finished) ok = StoreFailed(reader);
    reader.store = nullptr;
  }
  reader.Close();
  store.ReleaseEnvironment();
  if (ok) {
    reader.result.status = IDS_COMPLETED;
    reader.result.errorCode = 0;
  }
  return ok;
}

DWORD GatherWorker(RunProgress* progress) {
  {
    std::array<std::unique_ptr<EventLogReader>, 3> readers;
    for (size_t i = 0; i < readers.size(); ++i) readers[i] = std::make_unique<EventLogReader>(progress, kLogNames[i]);
    for (size_t c = 0; c < computerList.Count(); ++c) {
      if (CancelRequested.load() != 0) {
        CancelRequested = 0;
        break;
      }
      ComputerRecord& record = computerList[c];
      if (record.selected != 1) continue;
      if (progress) progress->SetText(record.name);
      bool stop = false;
      for (size_t log = 0; log < readers.size() && !stop; ++log) {
        EventLogReader& reader = *readers[log];
        if (GatherLog(reader, record.name.c_str())) {
          SetSlot(record.results[log], reader.result, true);
        } else {
          SetSlot(record.results[log], reader.result, false);
          // A database that fails or a cancel ends the run; any other failure is this log's alone.
          stop = reader.result.status == IDS_UNABLE_TO_WRITE_LOG || reader.result.status == IDS_OPERATION_CANCELLED;
        }
      }
      if (stop) break;
    }
    // The readers go before the window is told: once it has written the report and closed, the
    // worker touches nothing more.
  }
  if (progress) progress->Done();
  return 0;
}

void StartGatherRun(HWND parent) {
  {
    std::lock_guard<std::mutex> guard(slotLock);
    abandoned = false;
  }
  for (ComputerRecord& record : computerList) {
    if (record.selected != 1) continue;
    for (size_t i = 0; i < record.results.size(); ++i) {
      ResultSlot& slot = record.results[i];
      CopyText(slot.logName, sizeof slot.logName, kSlotNames[i]);
      slot.status = IDS_OPERATION_CANCELLED;
      slot.errorCode = 0;
    }
  }
  RunWindows* windows = parent ? GetRunWindows() : nullptr;
  if (windows) {
    RunWindowSteps steps;
    steps.start = [](RunProgress& progress) {
      GatherThread = CreateThread(nullptr, 0, GatherThreadMain, &progress, 0, nullptr);
      // Without a worker no Done() would ever come and the window would wait for good: the run
      // ends at once, every log reported as not reached.
      if (!GatherThread) progress.Done();
    };
    steps.finish = [] {
      if (GatherThread) CloseHandle(GatherThread);
      GatherThread = nullptr;
      WriteGatherReport();
    };
    windows->ShowProgress(parent, steps);
    return;
  }
  CancelRequested = 0;
  GatherThread = CreateThread(nullptr, 0, GatherThreadMain, nullptr, 0, nullptr);
}
