// The event log service of a computer, served from the .evt files of its image, with advapi32's
// names, results and error codes. Records come back in the layout of the A calls: the fixed part
// below, then 8-bit (UTF-8) texts, with every offset rebuilt for that layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/handles.h"
#include "platform/core/win32.h"

// EventType values.
enum : WORD {
  EVENTLOG_SUCCESS = 0x0000,
  EVENTLOG_ERROR_TYPE = 0x0001,
  EVENTLOG_WARNING_TYPE = 0x0002,
  EVENTLOG_INFORMATION_TYPE = 0x0004,
  EVENTLOG_AUDIT_SUCCESS = 0x0008,
  EVENTLOG_AUDIT_FAILURE = 0x0010,
};

// ReadEventLogA flags: exactly one of the first two and one of the last two.
enum : DWORD {
  EVENTLOG_SEQUENTIAL_READ = 0x0001,
  EVENTLOG_SEEK_READ = 0x0002,
  EVENTLOG_FORWARDS_READ = 0x0004,
  EVENTLOG_BACKWARDS_READ = 0x0008,
};

// One record as ReadEventLogA places it in the caller's buffer. Every field is naturally aligned,
// so the structure has no padding and records start on 4-byte boundaries of the buffer. After the
// fixed part: the source name and the computer name (NUL-terminated), padding to 4, the SID at
// UserSidOffset, the strings at StringOffset (NumStrings NUL-terminated texts back to back), the
// data at DataOffset, padding to 4, and a copy of Length in the last four bytes. All offsets
// count from the start of the record.
struct EVENTLOGRECORD {
  DWORD Length;
  DWORD Reserved;  // the signature "LfLe"
  DWORD RecordNumber;
  DWORD TimeGenerated;  // seconds since 1970-01-01 00:00:00 UTC
  DWORD TimeWritten;
  DWORD EventID;
  WORD EventType;
  WORD NumStrings;
  WORD EventCategory;
  WORD ReservedFlags;
  DWORD ClosingRecordNumber;
  DWORD StringOffset;
  DWORD UserSidLength;
  DWORD UserSidOffset;
  DWORD DataLength;
  DWORD DataOffset;
};
typedef EVENTLOGRECORD* PEVENTLOGRECORD;

static_assert(sizeof(EVENTLOGRECORD) == 0x38);
static_assert(offsetof(EVENTLOGRECORD, EventType) == 0x18);
static_assert(offsetof(EVENTLOGRECORD, StringOffset) == 0x24);
static_assert(offsetof(EVENTLOGRECORD, DataOffset) == 0x34);

// Opens the log `sourceName` of computer `serverName` (null or empty: this computer). The file is
// the one the computer's registry names for the log; an unknown log name opens Application. A log
// whose file does not exist reads as empty, and nothing is written. Errors: 1722 (computer absent
// or switched off), 5 (the computer denies event log access), 1500 (the file header is damaged).
HANDLE OpenEventLogA(LPCSTR serverName, LPCSTR sourceName);

// The number of records the log holds now.
BOOL GetNumberOfEventLogRecords(HANDLE eventLog, DWORD* numberOfRecords);

// The number of the oldest record (0 when the log is empty).
BOOL GetOldestEventLogRecord(HANDLE eventLog, DWORD* oldestRecord);

// Sequential forwards reads only (EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ); other flag
// sets answer 87. As many whole records as fit, oldest first; 122 with *minNumberOfBytesNeeded set
// to the exact size of the next record when it does not fit alone; 38 when no record is left;
// 1500 when the next record is damaged; 1503 when the log was cleared or overwritten past the
// reader's position since the last read.
BOOL ReadEventLogA(HANDLE eventLog, DWORD readFlags, DWORD recordOffset, LPVOID buffer, DWORD numberOfBytesToRead,
                   DWORD* bytesRead, DWORD* minNumberOfBytesNeeded);

// Empties the log (numbering restarts at 1). With a backup file name (a name ResolvePath takes)
// the log is first saved there as an .evt file, under the same lock as the clear, so every record
// is either in the saved file or in the emptied log; the saved file is on the disk before the log
// is emptied. Errors: 183 when the backup file exists, 5 when the computer denies clearing, 6 for
// a handle of OpenBackupEventLogA.
BOOL ClearEventLogA(HANDLE eventLog, LPCSTR backupFileName);

// Opens a saved log file for reading, as OpenEventLogA opens a log. A drive path names a file of
// `uncServerName` (null or empty: this computer); any other name goes through ResolvePath.
// Errors: 2 when there is no such file, 1500 when it is no log, 1722 for a computer that does
// not answer.
HANDLE OpenBackupEventLogA(LPCSTR uncServerName, LPCSTR fileName);

BOOL CloseEventLog(HANDLE eventLog);

namespace platform {

// Where a log of a computer lives and how large it may grow, as the computer's registry says
// (File, MaxSize, Retention under SYSTEM\CurrentControlSet\Services\EventLog\<log>).
struct EventLogLocation {
  std::string logName;  // the log actually opened (Application for an unknown name)
  std::string file;     // native path inside the image
  DWORD maxSize = 512 * 1024;
  DWORD retention = 7 * 86400;  // seconds; 0 overwrites as needed, 0xFFFFFFFF never
};

// Resolves the log of a computer (null or empty: this computer) without opening it.
// Errors as OpenEventLogA.
DWORD LocateEventLog(const char* computer, const char* logName, EventLogLocation& out);

// The same for the tools, on an image whatever its state (switched off, denying access).
struct ComputerImage;
DWORD LocateImageEventLog(const ComputerImage& computer, const char* logName, EventLogLocation& out);

// TimeWritten of the log's newest record, 0 for an empty log. 1500 for a damaged file.
DWORD NewestEventTime(const EventLogLocation& log, DWORD& timeWritten);

// The inputs of one reported event. Texts are UTF-8; the SID is binary (empty for none).
struct EventInput {
  std::string source;
  std::string computer;
  DWORD timeGenerated = 0;
  DWORD timeWritten = 0;
  DWORD eventId = 0;
  WORD eventType = EVENTLOG_INFORMATION_TYPE;
  WORD eventCategory = 0;
  std::vector<uint8_t> userSid;
  std::vector<std::string> strings;
  std::vector<uint8_t> data;
};

// Appends records to a log file (tools only; the programs never write logs). A missing file is
// created. When the file has reached maxSize the oldest records are overwritten if the retention
// allows it (measured against the new record's TimeWritten), else the call answers 1502 and
// records nothing more. A record too large for even an empty log of the file's size limit
// answers 1502 before anything of the batch is written. The whole batch is written under one
// lock; `firstNumber` (optional) receives the number of the first record written. An append
// cut short at any point (a kill, a full disk) leaves a log that reads as it was before, or with
// whole chunks of the batch in it. A file with a second name (a hard link) is not written:
// that name may be outside the image (5).
DWORD AppendEventRecords(const EventLogLocation& log, const std::vector<EventInput>& records,
                         DWORD* firstNumber = nullptr);

namespace testing {
// Lets the next `writes` writes of AppendEventRecords through and fails every one after them,
// as a kill there would leave the file (-1: none fail).
void FailLogWritesAfter(int writes);
}  // namespace testing

}  // namespace platform
