#include "platform/eventlog/eventlog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <mutex>

#include "platform/eventlog/evt_format.h"
#include "platform/core/beneath.h"
#include "platform/core/file_replace.h"
#include "platform/core/network.h"
#include "platform/core/paths.h"
#include "platform/core/regular_file.h"
#include "platform/registry/registry.h"

using namespace platform::evt;
using platform::LoadLe32;
using platform::StoreLe32;
using platform::EventInput;
using platform::EventLogLocation;

namespace {

constexpr size_t kWindow = 1024 * 1024;

struct FileId {
  dev_t dev = 0;
  ino_t ino = 0;
  bool operator==(const FileId&) const = default;
};

FileId IdOf(const struct stat& st) { return {st.st_dev, st.st_ino}; }

// Ring arithmetic of a log file of `size` bytes: records run from the header to the end of the
// file and continue right after the header.
uint64_t Dist(uint64_t from, uint64_t to, uint64_t size) {
  return to >= from ? to - from : (size - from) + (to - kHeaderSize);
}
uint64_t Advance(uint64_t off, uint64_t n, uint64_t size) {
  uint64_t r = off + n;
  return r >= size ? r - (size - kHeaderSize) : r;
}
// Where the record after one at `off` of `length` bytes starts. When fewer bytes than a fixed
// record part remain before the end of the file, the writer put the next record at 0x30 and
// filled the gap; the EOF record alone may sit in such a gap.
uint64_t NextRecord(uint64_t off, uint64_t length, uint64_t size, uint64_t end) {
  uint64_t next = Advance(off, length, size);
  if (next != end && size - next < kFixedSize) next = kHeaderSize;
  return next;
}

// Positioned reads of one open log file, with a read-ahead window so that walking records costs
// one system call per window rather than two per record.
class FileBytes {
 public:
  FileBytes(int fd, uint64_t size, std::vector<uint8_t>& window) : fd_(fd), size_(size), win_(window) {}
  uint64_t size() const { return size_; }

  bool Read(uint64_t off, uint8_t* dst, size_t len) const {
    if (off > size_ || len > size_ - off) return false;
    while (len > 0) {
      ssize_t n = ::pread(fd_, dst, len, static_cast<off_t>(off));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      dst += n;
      off += static_cast<uint64_t>(n);
      len -= static_cast<size_t>(n);
    }
    return true;
  }
  // `len` bytes from `off` along the ring (continuing at 0x30 at the end of the file).
  bool ReadRing(uint64_t off, uint8_t* dst, size_t len) {
    if (off < kHeaderSize || off >= size_ || len > size_ - kHeaderSize) return false;
    size_t first = static_cast<size_t>(std::min<uint64_t>(len, size_ - off));
    const uint8_t* a = View(off, first);
    if (!a) return false;
    std::memcpy(dst, a, first);
    if (first == len) return true;
    const uint8_t* b = View(kHeaderSize, len - first);
    if (!b) return false;
    std::memcpy(dst + first, b, len - first);
    return true;
  }
  // As ReadRing, bypassing the window.
  bool ReadRingDirect(uint64_t off, uint8_t* dst, size_t len) const {
    if (off < kHeaderSize || off >= size_ || len > size_ - kHeaderSize) return false;
    size_t first = static_cast<size_t>(std::min<uint64_t>(len, size_ - off));
    return Read(off, dst, first) && Read(kHeaderSize, dst + first, len - first);
  }
  // `len` contiguous bytes at `off` (not crossing the end of the file), valid until the next call.
  const uint8_t* View(uint64_t off, size_t len) {
    if (off >= winOff_ && off - winOff_ <= winLen_ && len <= winLen_ - (off - winOff_) && winLen_ > 0)
      return win_.data() + (off - winOff_);
    if (off > size_ || len > size_ - off) return nullptr;
    size_t want = static_cast<size_t>(std::min<uint64_t>(std::max(len, kWindow), size_ - off));
    if (win_.size() < want) win_.resize(want);
    winLen_ = 0;
    if (!Read(off, win_.data(), want)) return nullptr;
    winOff_ = off;
    winLen_ = want;
    return win_.data();
  }
  // Keeps a window that an earlier call filled, when the caller knows the file is unchanged.
  void Adopt(uint64_t off, size_t len) {
    winOff_ = off;
    winLen_ = len;
  }
  uint64_t windowOffset() const { return winOff_; }
  size_t windowLength() const { return winLen_; }

 private:
  int fd_;
  uint64_t size_;
  std::vector<uint8_t>& win_;
  uint64_t winOff_ = 0;
  size_t winLen_ = 0;
};

// The log's real state: the header, corrected from the EOF record when it is marked dirty.
struct LogState {
  FileHeader header;
  uint64_t size = 0;
  bool noFile = false;  // missing or 0 bytes: an empty log
  uint32_t Count() const {
    return header.oldestRecordNumber == 0 ? 0 : header.currentRecordNumber - header.oldestRecordNumber;
  }
};

bool EofAt(FileBytes& f, uint64_t off, EofRecord& eof) {
  uint8_t buf[kEofSize];
  return f.ReadRingDirect(off, buf, kEofSize) && ReadEof(buf, eof) && eof.endRecord == off;
}

// A dirty log whose end record is lost (the service stopped before it wrote one): its records
// count from the header's StartOffset on, as far as they check out, as Windows serves a log
// that was not closed. None that checks out is an empty log.
void RecoverEnd(FileBytes& f, FileHeader& h) {
  const uint64_t size = f.size(), ring = size - kHeaderSize;
  const bool startInRing = h.startOffset >= kHeaderSize && h.startOffset < size && h.startOffset % 4 == 0;
  uint64_t off = startInRing ? h.startOffset : kHeaderSize, end = off, walked = 0;
  uint32_t first = 0, count = 0;
  while (startInRing && size - off >= kFixedSize) {
    const uint8_t* p = f.View(off, kFixedSize);
    if (!p) break;
    const uint32_t length = LoadLe32(p), number = LoadLe32(p + 8);
    // Whole records only, numbered one after the other, with room left for an end record.
    if (LoadLe32(p + 4) != kSignature || length < kFixedSize + 8 || length % 4 != 0 ||
        walked + length + kEofSize > ring || number == 0 || (count > 0 && number != first + count))
      break;
    uint8_t tail[4];
    if (!f.ReadRingDirect(Advance(off, length - 4, size), tail, sizeof tail) || LoadLe32(tail) != length) break;
    if (count++ == 0) first = number;
    walked += length;
    end = off = Advance(off, length, size);
    if (size - off < kFixedSize) {
      walked += size - off;
      off = kHeaderSize;
    }
  }
  h.startOffset = static_cast<uint32_t>(startInRing ? h.startOffset : kHeaderSize);
  h.endOffset = static_cast<uint32_t>(count > 0 ? end : h.startOffset);
  h.oldestRecordNumber = count > 0 ? first : 0;
  h.currentRecordNumber = count > 0 ? first + count : std::max<uint32_t>(h.currentRecordNumber, 1);
}

DWORD LoadState(FileBytes& f, LogState& st, uint64_t* eofHint) {
  st.size = f.size();
  st.noFile = false;
  if (f.size() == 0) {
    st.noFile = true;
    st.header = FileHeader();
    return ERROR_SUCCESS;
  }
  uint8_t hb[kHeaderSize];
  // Offsets in the file are 32 bits: a larger file is no log of this format.
  if (f.size() < kHeaderSize + kEofSize || f.size() > 0xFFFFFFFFull || !f.Read(0, hb, kHeaderSize))
    return ERROR_EVENTLOG_FILE_CORRUPT;
  FileHeader h = ReadHeader(hb);
  if (!HeaderIsWellFormed(h)) return ERROR_EVENTLOG_FILE_CORRUPT;
  const uint64_t size = f.size();
  auto inRing = [&](uint64_t off) { return off >= kHeaderSize && off < size && off % 4 == 0; };
  EofRecord eof;
  bool found = false;
  uint64_t at = h.endOffset;
  if (inRing(h.endOffset)) found = EofAt(f, h.endOffset, eof);
  if (h.flags & kFlagDirty) {
    // The header of a log the service had open is stale; the EOF record is current. Look where
    // we found it last, then scan the ring from the header's EndOffset onwards.
    if (!found && eofHint && inRing(*eofHint) && EofAt(f, *eofHint, eof)) {
      found = true;
      at = *eofHint;
    }
    uint64_t from = inRing(h.endOffset) ? h.endOffset : kHeaderSize;
    const uint64_t ring = size - kHeaderSize;
    for (uint64_t step = 0; !found && step < ring; step += 4) {
      uint64_t pos = Advance(from, step, size);
      uint32_t first;
      if (pos + 4 <= size) {
        const uint8_t* p = f.View(pos, 4);
        if (!p) return ERROR_EVENTLOG_FILE_CORRUPT;
        first = LoadLe32(p);
      } else {
        continue;
      }
      if (first == kEofSize && EofAt(f, pos, eof)) {
        found = true;
        at = pos;
      }
    }
    if (found) {
      h.startOffset = eof.beginRecord;
      h.endOffset = eof.endRecord;
      h.currentRecordNumber = eof.currentRecordNumber;
      h.oldestRecordNumber = eof.oldestRecordNumber;
    } else {
      RecoverEnd(f, h);
      at = h.endOffset;
    }
  } else if (!found || eof.beginRecord != h.startOffset || eof.currentRecordNumber != h.currentRecordNumber ||
             eof.oldestRecordNumber != h.oldestRecordNumber) {
    return ERROR_EVENTLOG_FILE_CORRUPT;
  }
  if (eofHint) *eofHint = at;
  if (!inRing(h.startOffset) || !inRing(h.endOffset)) return ERROR_EVENTLOG_FILE_CORRUPT;
  const bool empty = h.oldestRecordNumber == 0;
  if (empty != (h.startOffset == h.endOffset)) return ERROR_EVENTLOG_FILE_CORRUPT;
  if (!empty) {
    if (h.currentRecordNumber <= h.oldestRecordNumber) return ERROR_EVENTLOG_FILE_CORRUPT;
    // Every record takes at least 0x40 bytes; a count beyond that is a damaged header, and the
    // bound keeps every walk finite.
    uint64_t used = Dist(h.startOffset, h.endOffset, size);
    if (static_cast<uint64_t>(h.currentRecordNumber - h.oldestRecordNumber) * 0x40 > used)
      return ERROR_EVENTLOG_FILE_CORRUPT;
  }
  st.header = h;
  return ERROR_SUCCESS;
}

// Reads the whole record at `off` (the record numbered `number`) into `rec` and checks it and its
// place in the ring. `walked` is its distance from the oldest record.
DWORD LoadRecord(FileBytes& f, const LogState& st, uint64_t off, uint32_t number, std::vector<uint8_t>& rec,
                 RecordParts& parts, uint32_t& length, const uint8_t*& bytes) {
  const FileHeader& h = st.header;
  const uint64_t size = st.size;
  const uint64_t used = Dist(h.startOffset, h.endOffset, size);
  if (off < kHeaderSize || off >= size || off % 4 != 0 || size - off < kFixedSize) return ERROR_EVENTLOG_FILE_CORRUPT;
  const uint64_t walked = Dist(h.startOffset, off, size);
  const uint8_t* fixed = f.View(off, kFixedSize);
  if (!fixed) return ERROR_EVENTLOG_FILE_CORRUPT;
  length = LoadLe32(fixed);
  if (length < kFixedSize + 8 || walked >= used || length > used - walked || LoadLe32(fixed + 4) != kSignature ||
      LoadLe32(fixed + 8) != number)
    return ERROR_EVENTLOG_FILE_CORRUPT;
  if (size - off >= length) {
    bytes = f.View(off, length);  // whole in the window: no copy
    if (!bytes) return ERROR_EVENTLOG_FILE_CORRUPT;
  } else {
    if (rec.size() < length) rec.resize(length);
    if (!f.ReadRing(off, rec.data(), length)) return ERROR_EVENTLOG_FILE_CORRUPT;
    bytes = rec.data();
  }
  if (!ParseRecord(bytes, length, parts)) return ERROR_EVENTLOG_FILE_CORRUPT;
  return ERROR_SUCCESS;
}

// Reads every record of the log as ReadEventLogA would: records appended behind one that does
// not read could never be reached, so such a log takes no append.
DWORD CheckRecords(FileBytes& f, const LogState& st) {
  if (st.noFile || st.Count() == 0) return ERROR_SUCCESS;
  std::vector<uint8_t> rec;
  RecordParts parts;
  uint32_t length = 0;
  const uint8_t* bytes = nullptr;
  uint64_t off = st.header.startOffset;
  for (uint32_t n = st.header.oldestRecordNumber; n != st.header.currentRecordNumber; ++n) {
    if (DWORD rc = LoadRecord(f, st, off, n, rec, parts, length, bytes); rc != ERROR_SUCCESS) return rc;
    off = NextRecord(off, length, st.size, st.header.endOffset);
  }
  return ERROR_SUCCESS;
}

// The log this process appended to last, as it left it. A file with the same identity, size,
// times and state has not been written since, so its records need no second reading: a fill of
// many batches reads the log once, not once a batch.
struct Verified {
  FileId id;
  off_t size = -1;
  struct timespec mtime {}, ctime {};
  uint32_t start = 0, end = 0, oldest = 0, current = 0;
  bool Matches(const struct stat& st, const FileHeader& h) const {
    return IdOf(st) == id && st.st_size == size && st.st_mtim.tv_sec == mtime.tv_sec &&
           st.st_mtim.tv_nsec == mtime.tv_nsec && st.st_ctim.tv_sec == ctime.tv_sec &&
           st.st_ctim.tv_nsec == ctime.tv_nsec && h.startOffset == start && h.endOffset == end &&
           h.oldestRecordNumber == oldest && h.currentRecordNumber == current;
  }
};
std::mutex verifiedLock;
Verified lastVerified;

// The answer for a failed OpenLocked: a FIFO or device named like a log is no log.
DWORD OpenFailure(int e) { return e == platform::kNotRegularFile ? ERROR_EVENTLOG_FILE_CORRUPT : Win32FromErrno(e); }

// Opens `path` and takes a lock of `kind`, making sure the locked file is the one the path names
// now (a clear replaces the file by renaming). ENOENT gives -1 with errno set.
int OpenLocked(const std::string& path, int flags, int kind, FileId& id) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    int fd = platform::OpenRegularFile(path, flags, 0644);
    if (fd < 0) return -1;
    if (::flock(fd, kind) != 0) {
      int e = errno;
      ::close(fd);
      errno = e;
      return -1;
    }
    struct stat a, b;
    if (::fstat(fd, &a) == 0 && platform::StatNative(path, b) == 0 && IdOf(a) == IdOf(b)) {
      id = IdOf(a);
      return fd;
    }
    ::close(fd);  // replaced between open and lock: take the new file
  }
  errno = EBUSY;
  return -1;
}

uint64_t FileSize(int fd) {
  struct stat st;
  return ::fstat(fd, &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

struct EventLogObject : HandleObject {
  ~EventLogObject() override {
    if (fd >= 0) ::close(fd);
  }
  std::mutex m;
  // The log file, kept open between calls while the path still names it.
  int fd = -1;
  FileId fdId;
  std::string computer;
  platform::EventLogLocation location;
  bool saved = false;  // a saved log file (OpenBackupEventLogA): read only
  FileId id;
  bool haveId = false;
  // The sequential read position.
  bool started = false;
  uint32_t nextNumber = 0;
  uint64_t nextOffset = 0;
  bool offsetKnown = false;
  uint64_t eofHint = 0;
  // The read-ahead window and the file state it belongs to.
  std::vector<uint8_t> window;
  uint64_t windowOffset = 0;
  size_t windowLength = 0;
  FileHeader windowHeader;
  uint64_t windowSize = 0;
  FileId windowId;
  // The state the last call found, and the header bytes it came from.
  bool stateCached = false;
  uint8_t stateHeader[kHeaderSize] = {};
  LogState state;
  FileId stateId;
  std::vector<uint8_t> record;
};

bool Fail(DWORD code) {
  SetLastError(code);
  return false;
}

const char* const kDefaultFiles[][2] = {
    {"Application", "AppEvent.Evt"},
    {"Security", "SecEvent.Evt"},
    {"System", "SysEvent.Evt"},
};

bool IsStandardLog(const std::string& logName) {
  for (const auto& d : kDefaultFiles)
    if (platform::EqualsNoCase(d[0], logName)) return true;
  return false;
}

// The log's key in the computer's registry: File, MaxSize and Retention; a value that is not
// there keeps its default. The service reads the hive itself, so a computer that refuses remote
// registry access still serves its logs. False when the registry has no such log; an image
// without a registry knows the three standard logs.
bool ReadLogKey(const platform::ComputerImage& image, const std::string& logName, std::string& file,
                platform::EventLogLocation& out) {
  if (logName.find_first_of("\\/") != std::string::npos) return false;
  const std::string logs = "SYSTEM\\CurrentControlSet\\Services\\EventLog";
  const std::string key = logs + "\\" + logName;
  std::vector<std::string> names;
  if (platform::ListImageSubkeys(image, key, names) != ERROR_SUCCESS)
    return platform::ListImageSubkeys(image, logs, names) != ERROR_SUCCESS && IsStandardLog(logName);
  platform::RegistryValue v;
  if (platform::ReadImageValue(image, key, "File", v) == ERROR_SUCCESS && (v.type == REG_SZ || v.type == REG_EXPAND_SZ))
    file = platform::ValueText(v);
  auto dword = [&](const char* name, DWORD& to) {
    if (platform::ReadImageValue(image, key, name, v) == ERROR_SUCCESS && v.type == REG_DWORD && v.data.size() == 4)
      to = LoadLe32(reinterpret_cast<const uint8_t*>(v.data.data()));
  };
  dword("MaxSize", out.maxSize);
  dword("Retention", out.retention);
  return true;
}

// ---- the writer ----
//
// An append keeps the log readable at every moment, so that a kill or a full disk in the middle
// of a batch never leaves a log that no reader opens. The header is marked dirty first, which
// makes the end-of-log record the one readers trust (as for a log the service had open), and
// the old end record stays whole until a new one stands behind whole new records. A batch goes
// in chunks; each chunk
//   1. drops the oldest records it will overwrite, by rewriting Begin and Oldest in the old end
//      record,
//   2. writes its records and a new end record behind them: all of it but the bytes where the
//      old end record lies,
//   3. writes those last. The old end record is then gone, and a reader that looks for it
//      forward from where it was (as for any dirty log) meets whole records, then the new one.
// A chunk ends before a record would overwrite one of the same chunk, and before the file
// grows. The header is written clean when the batch is done.

std::atomic<int> writesLeft{-1};  // tests: writes allowed before every later one fails; -1 all

enum class Stop { Done, Full, Grow };

struct Piece {
  uint64_t at;  // ring offset
  const uint8_t* bytes;
  size_t length;
};

struct Chunk {
  FileHeader freed;  // the state before, less the records the chunk overwrites
  FileHeader end;    // the state after
  std::vector<Piece> pieces;
  std::vector<std::vector<uint8_t>> fillers;
  size_t placed = 0;
  Stop stop = Stop::Done;
  uint64_t growTo = 0;
};

// Places records from `from` on, after the committed state `start`, until the batch ends, the
// log is full, the file must grow first, or the next record would overwrite this chunk's own.
// Records dropped are read from the file; a chunk never drops one it wrote itself.
DWORD PlanChunk(FileBytes& f, const FileHeader& start, uint64_t limit, const EventLogLocation& log,
                const std::vector<EventInput>& records, std::vector<std::vector<uint8_t>>& built, size_t from,
                Chunk& c) {
  const uint64_t size = f.size();
  const uint32_t firstNew = start.currentRecordNumber;
  FileHeader h = start;
  c.freed = start;
  // The pieces are listed once the fillers' vector no longer moves.
  auto finish = [&](Stop stop) {
    c.stop = stop;
    c.end = h;
    size_t filler = 0;
    uint64_t end = start.endOffset;
    for (size_t r = from; r < from + c.placed; ++r) {
      uint64_t at = end;
      if (size - at < kFixedSize) {
        c.pieces.push_back({at, c.fillers[filler].data(), c.fillers[filler].size()});
        ++filler;
        at = kHeaderSize;
      }
      c.pieces.push_back({at, built[r].data(), built[r].size()});
      end = Advance(at, built[r].size(), size);
    }
    return DWORD{ERROR_SUCCESS};
  };
  for (size_t r = from; r < records.size(); ++r) {
    std::vector<uint8_t>& rec = built[r];
    const uint64_t length = rec.size();
    for (;;) {
      const bool empty = h.oldestRecordNumber == 0;
      const uint64_t waste = size - h.endOffset < kFixedSize ? size - h.endOffset : 0;
      const uint64_t freeBytes = empty ? size - kHeaderSize : Dist(h.endOffset, h.startOffset, size);
      if (waste + length + kEofSize <= freeBytes) break;
      // Before the log wraps the file grows in steps up to its maximum size. An end record
      // split over the end of the file would be torn by growing; that log wraps instead.
      if (h.startOffset <= h.endOffset && size < limit && size - h.endOffset >= kEofSize) {
        uint64_t grown = size;
        while (grown < limit && (grown - h.endOffset) < length + kEofSize + kFixedSize) grown += kGrowStep;
        c.growTo = std::min(grown, limit);
        return finish(Stop::Grow);
      }
      if (empty) return finish(Stop::Full);  // larger than the whole log
      if (h.oldestRecordNumber >= firstNew) return finish(Stop::Done);  // the oldest is this chunk's own: commit first
      const uint8_t* oldest = f.View(h.startOffset, kFixedSize);
      if (!oldest || size - h.startOffset < kFixedSize || LoadLe32(oldest + 4) != kSignature)
        return ERROR_EVENTLOG_FILE_CORRUPT;
      const uint32_t oldLength = LoadLe32(oldest);
      const uint32_t oldWritten = LoadLe32(oldest + 0x10);
      const EventInput& in = records[r];
      const bool mayOverwrite =
          log.retention == 0 ||
          (log.retention != 0xFFFFFFFF && in.timeWritten >= oldWritten && in.timeWritten - oldWritten >= log.retention);
      if (!mayOverwrite) return finish(Stop::Full);
      if (oldLength < kFixedSize + 8 || oldLength > Dist(h.startOffset, h.endOffset, size))
        return ERROR_EVENTLOG_FILE_CORRUPT;
      h.startOffset = static_cast<uint32_t>(NextRecord(h.startOffset, oldLength, size, h.endOffset));
      h.oldestRecordNumber += 1;
      if (h.startOffset == h.endOffset || h.oldestRecordNumber == h.currentRecordNumber) {
        h.startOffset = h.endOffset;
        h.oldestRecordNumber = 0;
      }
      // What stays of the log before the chunk lands: its records from here on, or none.
      const bool oldLeft = h.oldestRecordNumber != 0 && h.oldestRecordNumber < firstNew;
      c.freed.startOffset = oldLeft ? h.startOffset : start.endOffset;
      c.freed.oldestRecordNumber = oldLeft ? h.oldestRecordNumber : 0;
    }
    uint64_t at = h.endOffset;
    if (size - at < kFixedSize) {
      std::vector<uint8_t>& filler = c.fillers.emplace_back(size - at);
      for (size_t i = 0; i + 4 <= filler.size(); i += 4) StoreLe32(filler.data() + i, kFiller);
      h.flags |= kFlagWrap;
      at = kHeaderSize;
    }
    if (at + length >= size) h.flags |= kFlagWrap;
    StoreLe32(rec.data() + 8, h.currentRecordNumber);
    if (h.oldestRecordNumber == 0) {
      h.oldestRecordNumber = h.currentRecordNumber;
      h.startOffset = static_cast<uint32_t>(at);
    }
    h.currentRecordNumber += 1;
    h.endOffset = static_cast<uint32_t>(Advance(at, length, size));
    c.placed += 1;
  }
  return finish(Stop::Done);
}

class LogWriter {
 public:
  LogWriter(int fd, const EventLogLocation& log) : fd_(fd), log_(log) {}

  DWORD Failure() const { return error_ == ENOSPC || error_ == EDQUOT ? ERROR_DISK_FULL : ERROR_WRITE_FAULT; }

  bool PutNew(uint64_t size) {
    uint8_t init[kHeaderSize + kEofSize];
    FileHeader h;
    h.maxSize = log_.maxSize;
    h.retention = log_.retention;
    WriteHeader(init, h);
    WriteEof(init + kHeaderSize, EofRecord());
    return Put(0, init, sizeof init) && Truncate(size);
  }

  bool PutHeader(const FileHeader& h, uint32_t flags) {
    uint8_t hb[kHeaderSize];
    FileHeader out = h;
    out.flags = flags;
    out.maxSize = log_.maxSize;
    out.retention = log_.retention;
    WriteHeader(hb, out);
    return Put(0, hb, kHeaderSize);
  }

  // Grows a log that has not wrapped; its end record lies whole before the old end of file.
  bool Grow(uint64_t to) { return Truncate(to); }

  // Writes a chunk planned after the committed state `h` in a file of `size` bytes.
  bool Commit(const FileHeader& h, uint64_t size, const Chunk& c) {
    const uint64_t oldEnd = h.endOffset;
    if (c.freed.startOffset != h.startOffset || c.freed.oldestRecordNumber != h.oldestRecordNumber) {
      uint8_t eb[kEofSize];
      WriteEof(eb, EofRecord{c.freed.startOffset, h.endOffset, h.currentRecordNumber, c.freed.oldestRecordNumber});
      if (!PutRing(size, oldEnd, eb, kEofSize)) return false;
    }
    // The ring bytes of the old end record, as file ranges: up to the end of the file, and the
    // rest after the header.
    const uint64_t keepFirst = std::min<uint64_t>(kEofSize, size - oldEnd);
    const Range keep[2] = {{oldEnd, oldEnd + keepFirst}, {kHeaderSize, kHeaderSize + (kEofSize - keepFirst)}};
    std::vector<Span> later;
    for (const Piece& p : c.pieces) {
      for (const Span& s : Spans(size, p.at, p.bytes, p.length)) {
        Span rest[3];
        size_t n = Cut(s, keep, later, rest);
        for (size_t i = 0; i < n; ++i)
          if (!Put(rest[i].at, rest[i].bytes, rest[i].length)) return false;
      }
    }
    uint8_t eb[kEofSize];
    WriteEof(eb, EofRecord{c.end.startOffset, c.end.endOffset, c.end.currentRecordNumber, c.end.oldestRecordNumber});
    if (!PutRing(size, c.end.endOffset, eb, kEofSize)) return false;
    // The part after the header first: where the old end record is split, that part starts the
    // chunk's first record (the bytes before the end of the file are only filler), so the
    // record is whole before a reader can look past the old end record.
    std::stable_sort(later.begin(), later.end(), [&](const Span& a, const Span& b) {
      return (a.at >= oldEnd) < (b.at >= oldEnd);
    });
    for (const Span& s : later)
      if (!Put(s.at, s.bytes, s.length)) return false;
    return true;
  }

 private:
  struct Range {
    uint64_t begin, end;
  };
  struct Span {
    uint64_t at;
    const uint8_t* bytes;
    size_t length;
  };

  // `length` bytes at ring offset `at` as file spans (continuing after the header at the end).
  static std::vector<Span> Spans(uint64_t size, uint64_t at, const uint8_t* p, size_t length) {
    const size_t first = static_cast<size_t>(std::min<uint64_t>(length, size - at));
    std::vector<Span> out{{at, p, first}};
    if (first < length) out.push_back({kHeaderSize, p + first, length - first});
    return out;
  }

  // Splits `s` into what lies outside both `keep` ranges (into `rest`, answered count) and
  // what lies inside them (appended to `later`).
  static size_t Cut(const Span& s, const Range (&keep)[2], std::vector<Span>& later, Span (&rest)[3]) {
    std::vector<Span> todo{s};
    for (const Range& k : keep) {
      if (k.begin == k.end) continue;
      std::vector<Span> next;
      for (const Span& t : todo) {
        const uint64_t b = std::max(t.at, k.begin), e = std::min(t.at + t.length, k.end);
        if (b >= e) {
          next.push_back(t);
          continue;
        }
        if (t.at < b) next.push_back({t.at, t.bytes, static_cast<size_t>(b - t.at)});
        later.push_back({b, t.bytes + (b - t.at), static_cast<size_t>(e - b)});
        if (e < t.at + t.length) next.push_back({e, t.bytes + (e - t.at), static_cast<size_t>(t.at + t.length - e)});
      }
      todo.swap(next);
    }
    for (size_t i = 0; i < todo.size(); ++i) rest[i] = todo[i];
    return todo.size();
  }

  bool PutRing(uint64_t size, uint64_t at, const uint8_t* p, size_t length) {
    for (const Span& s : Spans(size, at, p, length))
      if (!Put(s.at, s.bytes, s.length)) return false;
    return true;
  }

  bool Allowed() {
    int left = writesLeft.load();
    if (left < 0) return true;
    if (left == 0 || !writesLeft.compare_exchange_strong(left, left - 1)) {
      error_ = EIO;
      return false;
    }
    return true;
  }

  bool Put(uint64_t off, const uint8_t* p, size_t n) {
    if (!Allowed()) return false;
    while (n > 0) {
      ssize_t w = ::pwrite(fd_, p, n, static_cast<off_t>(off));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        error_ = w < 0 ? errno : EIO;
        return false;
      }
      p += w;
      off += static_cast<uint64_t>(w);
      n -= static_cast<size_t>(w);
    }
    return true;
  }

  bool Truncate(uint64_t size) {
    if (!Allowed()) return false;
    if (::ftruncate(fd_, static_cast<off_t>(size)) == 0) return true;
    error_ = errno;
    return false;
  }

  int fd_;
  const EventLogLocation& log_;
  int error_ = 0;
};

}  // namespace

namespace platform {

DWORD LocateEventLog(const char* computer, const char* logName, EventLogLocation& out) {
  ComputerImage image;
  if (ReachComputer(computer, image) != ERROR_SUCCESS) return RPC_S_SERVER_UNAVAILABLE;
  // "eventlog" denies every log; "eventlog:Security" only that one, as a computer that lets
  // anyone read its System log but keeps its Security log to its administrators.
  if (image.host.Denies("eventlog") || image.host.Denies(std::string("eventlog:") + (logName ? logName : "")))
    return ERROR_ACCESS_DENIED;
  return LocateImageEventLog(image, logName, out);
}

DWORD LocateImageEventLog(const ComputerImage& image, const char* logName, EventLogLocation& out) {
  out = EventLogLocation();
  std::string name = logName ? logName : "";
  std::string file;
  bool known = !name.empty() && ReadLogKey(image, name, file, out);
  if (!known) {
    // Windows opens Application for a log it does not know.
    name = "Application";
    file.clear();
    out = EventLogLocation();
    ReadLogKey(image, name, file, out);
  }
  out.logName = name;
  if (file.empty()) {
    for (const auto& d : kDefaultFiles)
      if (EqualsNoCase(d[0], name)) file = std::string("%SystemRoot%\\System32\\config\\") + d[1];
    // Another log without a File value keeps its own file, named after it.
    if (file.empty()) file = "%SystemRoot%\\System32\\config\\" + name + ".evt";
  }
  std::string winPath = ExpandSystemRoot(file, image.host.systemroot);
  std::string native;
  DWORD rc = ResolveImagePath(image, winPath, native, PathUse::Create);
  if (rc == ERROR_ACCESS_DENIED || rc == ERROR_BAD_PATHNAME) return rc;
  // A folder that is not there holds no log: the log reads as empty.
  out.file = rc == ERROR_SUCCESS ? native : std::string();
  return ERROR_SUCCESS;
}

DWORD NewestEventTime(const EventLogLocation& log, DWORD& timeWritten) {
  timeWritten = 0;
  if (log.file.empty()) return ERROR_SUCCESS;
  FileId id;
  int fd = OpenLocked(log.file, O_RDONLY, LOCK_SH, id);
  if (fd < 0) return errno == ENOENT ? ERROR_SUCCESS : OpenFailure(errno);
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  std::vector<uint8_t> window;
  FileBytes f(fd, FileSize(fd), window);
  LogState st;
  if (DWORD rc = LoadState(f, st, nullptr); rc != ERROR_SUCCESS) return rc;
  if (st.noFile || st.Count() == 0) return ERROR_SUCCESS;
  const FileHeader& h = st.header;
  uint64_t off = h.startOffset;
  for (uint32_t n = h.oldestRecordNumber;; ++n) {
    const uint8_t* p = f.View(off, kFixedSize);
    if (!p || st.size - off < kFixedSize || LoadLe32(p + 4) != kSignature || LoadLe32(p + 8) != n ||
        LoadLe32(p) < kFixedSize + 8 || LoadLe32(p) > Dist(h.startOffset, h.endOffset, st.size) - Dist(h.startOffset, off, st.size))
      return ERROR_EVENTLOG_FILE_CORRUPT;
    if (n + 1 == h.currentRecordNumber) {
      timeWritten = LoadLe32(p + 0x10);
      return ERROR_SUCCESS;
    }
    off = NextRecord(off, LoadLe32(p), st.size, h.endOffset);
  }
}

DWORD AppendEventRecords(const EventLogLocation& log, const std::vector<EventInput>& records, DWORD* firstNumber) {
  if (log.file.empty()) return ERROR_PATH_NOT_FOUND;
  // NumStrings is 16 bits: more strings could not be counted in the record.
  for (const EventInput& in : records)
    if (in.strings.size() > 0xFFFF) return ERROR_INVALID_PARAMETER;
  FileId id;
  int fd = OpenLocked(log.file, O_RDWR | O_CREAT, LOCK_EX, id);
  if (fd < 0) return OpenFailure(errno);
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }  // closing drops the lock
  } closer{fd};
  // Written in place, the log must be a file of the image alone: a second name for it may be
  // a file anywhere else.
  struct stat fs;
  if (::fstat(fd, &fs) != 0) return Win32FromErrno(errno);
  if (fs.st_nlink > 1) return ERROR_ACCESS_DENIED;

  const uint64_t limit = std::max<uint64_t>(kGrowStep, log.maxSize / kGrowStep * kGrowStep);
  uint64_t size = static_cast<uint64_t>(fs.st_size);
  // A record that could not fit even in an empty log is refused before anything changes:
  // making room for it would throw every record away and still not place it.
  std::vector<std::vector<uint8_t>> built;
  built.reserve(records.size());
  for (const EventInput& in : records) {
    built.push_back(BuildRecord(in, 0));  // numbered as it is placed
    if (kHeaderSize + built.back().size() + kEofSize > std::max(limit, size)) return ERROR_LOG_FILE_FULL;
  }
  LogWriter w(fd, log);
  if (size == 0) {
    // A new log: header and EOF record first, then the first 64 KiB as NT makes it, so that a
    // log cut short on the way is a short empty log, never a file of zeros.
    if (!w.PutNew(kGrowStep)) return w.Failure();
    size = kGrowStep;
  }
  std::vector<uint8_t> window;
  LogState st;
  {
    FileBytes f(fd, size, window);
    if (DWORD rc = LoadState(f, st, nullptr); rc != ERROR_SUCCESS) return rc;
    bool known = false;
    {
      std::lock_guard guard(verifiedLock);
      known = lastVerified.Matches(fs, st.header);
    }
    if (!known)
      if (DWORD rc = CheckRecords(f, st); rc != ERROR_SUCCESS) return rc;
  }
  FileHeader h = st.header;
  if (!w.PutHeader(h, h.flags | kFlagDirty)) return w.Failure();
  DWORD result = ERROR_SUCCESS;
  for (size_t next = 0; next < records.size();) {
    Chunk c;
    FileBytes f(fd, size, window);
    if (DWORD rc = PlanChunk(f, h, limit, log, records, built, next, c); rc != ERROR_SUCCESS) return rc;
    if (c.placed == 0 && c.stop == Stop::Done) return ERROR_EVENTLOG_FILE_CORRUPT;  // no progress: never loop
    if (c.placed > 0) {
      // Readers look for the end record forward from the header's: it must not lie past the
      // chunk's new one, written before the old one goes.
      if (next > 0 && !w.PutHeader(h, h.flags | kFlagDirty)) return w.Failure();
      if (!w.Commit(h, size, c)) return w.Failure();
      if (next == 0 && firstNumber) *firstNumber = h.currentRecordNumber;
      h = c.end;
      next += c.placed;
    }
    if (c.stop == Stop::Full) {
      result = ERROR_LOG_FILE_FULL;
      break;
    }
    if (c.stop == Stop::Grow) {
      if (!w.Grow(c.growTo)) return w.Failure();
      size = c.growTo;
    }
  }
  if (result == ERROR_LOG_FILE_FULL) h.flags |= kFlagLogFullWritten;
  if (!w.PutHeader(h, h.flags & ~kFlagDirty)) return w.Failure();
  if (::fstat(fd, &fs) == 0) {
    std::lock_guard guard(verifiedLock);
    lastVerified = Verified{IdOf(fs), fs.st_size, fs.st_mtim, fs.st_ctim, h.startOffset, h.endOffset,
                            h.oldestRecordNumber, h.currentRecordNumber};
  }
  return result;
}

}  // namespace platform

namespace {

// A handle on the log file `location` names. A header that cannot be a log's fails the open;
// the records are checked as they are read.
HANDLE OpenLogFile(const char* computer, const platform::EventLogLocation& location, bool saved) {
  auto object = std::make_shared<EventLogObject>();
  object->computer = computer ? computer : "";
  object->location = location;
  object->saved = saved;
  if (!location.file.empty()) {
    FileId id;
    int fd = OpenLocked(location.file, O_RDONLY, LOCK_SH, id);
    if (fd >= 0) {
      std::vector<uint8_t> window;
      FileBytes f(fd, FileSize(fd), window);
      LogState st;
      DWORD rc = LoadState(f, st, &object->eofHint);
      ::close(fd);
      if (rc != ERROR_SUCCESS) {
        SetLastError(rc);
        return nullptr;
      }
      object->id = id;
      object->haveId = !st.noFile;
    } else if (errno != ENOENT || saved) {
      SetLastError(OpenFailure(errno));
      return nullptr;
    }
  }
  return static_cast<HANDLE>(platform::RegisterHandle(object));
}

}  // namespace

HANDLE OpenEventLogA(LPCSTR serverName, LPCSTR sourceName) {
  platform::EventLogLocation location;
  if (DWORD rc = platform::LocateEventLog(serverName, sourceName, location); rc != ERROR_SUCCESS) {
    SetLastError(rc);
    return nullptr;
  }
  return OpenLogFile(serverName, location, false);
}

HANDLE OpenBackupEventLogA(LPCSTR uncServerName, LPCSTR fileName) {
  if (!fileName || !*fileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  platform::EventLogLocation location;
  std::string name = fileName;
  DWORD rc;
  if (uncServerName && *uncServerName && name.size() >= 2 && std::isalpha(static_cast<unsigned char>(name[0])) &&
      name[1] == ':') {
    // A drive path names a file of the server, as its event log service would read it.
    platform::ComputerImage image;
    rc = platform::ReachComputer(uncServerName, image);
    if (rc == ERROR_SUCCESS) rc = platform::ResolveImagePath(image, name, location.file);
    else rc = RPC_S_SERVER_UNAVAILABLE;
  } else {
    rc = platform::ResolvePath(name, location.file);
  }
  if (rc != ERROR_SUCCESS) {
    SetLastError(rc);
    return nullptr;
  }
  location.logName = name;
  return OpenLogFile(uncServerName, location, true);
}

namespace {

// Runs `body` with the log's current state under a shared lock. `checkId` makes a file that was
// replaced since the handle first saw it answer ERROR_EVENTLOG_FILE_CHANGED.
template <typename Body>
DWORD WithLog(EventLogObject& log, bool checkId, Body&& body) {
  LogState st;
  if (log.location.file.empty()) {
    st.noFile = true;
    std::vector<uint8_t> none;
    FileBytes f(-1, 0, none);
    return body(f, st);
  }
  const std::string& path = log.location.file;
  int fd = -1;
  uint64_t size = 0;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    struct stat ps;
    if (int e = platform::StatNative(path, ps)) {
      if (e != ENOENT) return Win32FromErrno(e);
      if (log.fd >= 0) ::close(log.fd);
      log.fd = -1;
      if (checkId && log.haveId) return ERROR_EVENTLOG_FILE_CHANGED;
      st.noFile = true;
      std::vector<uint8_t> none;
      FileBytes f(-1, 0, none);
      return body(f, st);
    }
    if (log.fd < 0 || !(IdOf(ps) == log.fdId)) {
      if (log.fd >= 0) ::close(log.fd);
      log.fd = platform::OpenRegularFile(path, O_RDONLY);
      struct stat fs;
      if (log.fd < 0 || ::fstat(log.fd, &fs) != 0) {
        if (log.fd >= 0) ::close(log.fd);
        log.fd = -1;
        if (errno == ENOENT) continue;
        return OpenFailure(errno);
      }
      log.fdId = IdOf(fs);
    }
    if (::flock(log.fd, LOCK_SH) != 0) return Win32FromErrno(errno);
    struct stat fs;
    if (::fstat(log.fd, &fs) != 0 || fs.st_nlink == 0) {
      // Replaced (cleared) while we waited for the lock: take the file the path names now.
      ::close(log.fd);
      log.fd = -1;
      continue;
    }
    fd = log.fd;
    size = static_cast<uint64_t>(fs.st_size);
  }
  if (fd < 0) return ERROR_EVENTLOG_FILE_CHANGED;
  struct Unlocker {
    int fd;
    ~Unlocker() { ::flock(fd, LOCK_UN); }
  } unlocker{fd};
  const FileId id = log.fdId;
  if (checkId) {
    if (log.haveId && !(log.id == id)) return ERROR_EVENTLOG_FILE_CHANGED;
  }
  FileBytes f(fd, size, log.window);
  // A clean header that is byte for byte the one checked against its EOF record at the last call,
  // in the same file of the same size, needs no second look at the EOF record.
  uint8_t hb[kHeaderSize];
  const bool haveHeader = size >= kHeaderSize + kEofSize && f.Read(0, hb, kHeaderSize);
  if (haveHeader && log.stateCached && log.stateId == id && log.state.size == size &&
      std::memcmp(hb, log.stateHeader, kHeaderSize) == 0 && !(LoadLe32(hb + 0x24) & kFlagDirty)) {
    st = log.state;
  } else {
    log.stateCached = false;
    if (DWORD rc = LoadState(f, st, &log.eofHint); rc != ERROR_SUCCESS) return rc;
    if (haveHeader && !st.noFile) {
      std::memcpy(log.stateHeader, hb, kHeaderSize);
      log.state = st;
      log.stateId = id;
      log.stateCached = true;
    }
  }
  if (checkId && !log.haveId && !st.noFile) {
    log.id = id;
    log.haveId = true;
  }
  // Nothing was written since the window was filled when the ring's size and the header agree:
  // every append moves the current record number and a clear replaces the file.
  const FileHeader& h = st.header;
  const FileHeader& w = log.windowHeader;
  if (f.windowLength() == 0 && log.windowLength > 0 && log.windowId == id && log.windowSize == st.size &&
      w.startOffset == h.startOffset &&
      w.endOffset == h.endOffset && w.currentRecordNumber == h.currentRecordNumber &&
      w.oldestRecordNumber == h.oldestRecordNumber)
    f.Adopt(log.windowOffset, log.windowLength);
  DWORD rc = body(f, st);
  log.windowOffset = f.windowOffset();
  log.windowLength = f.windowLength();
  log.windowHeader = h;
  log.windowSize = st.size;
  log.windowId = id;
  return rc;
}

}  // namespace

BOOL GetNumberOfEventLogRecords(HANDLE eventLog, DWORD* numberOfRecords) {
  auto log = platform::LookupHandle<EventLogObject>(eventLog);
  if (!log) return Fail(ERROR_INVALID_HANDLE);
  if (!numberOfRecords) return Fail(ERROR_INVALID_PARAMETER);
  std::lock_guard<std::mutex> guard(log->m);
  DWORD count = 0;
  DWORD rc = WithLog(*log, false, [&](FileBytes&, const LogState& st) {
    count = st.noFile ? 0 : st.Count();
    return DWORD{ERROR_SUCCESS};
  });
  if (rc != ERROR_SUCCESS) return Fail(rc);
  *numberOfRecords = count;
  return TRUE;
}

BOOL GetOldestEventLogRecord(HANDLE eventLog, DWORD* oldestRecord) {
  auto log = platform::LookupHandle<EventLogObject>(eventLog);
  if (!log) return Fail(ERROR_INVALID_HANDLE);
  if (!oldestRecord) return Fail(ERROR_INVALID_PARAMETER);
  std::lock_guard<std::mutex> guard(log->m);
  DWORD oldest = 0;
  DWORD rc = WithLog(*log, false, [&](FileBytes&, const LogState& st) {
    oldest = st.noFile ? 0 : st.header.oldestRecordNumber;
    return DWORD{ERROR_SUCCESS};
  });
  if (rc != ERROR_SUCCESS) return Fail(rc);
  *oldestRecord = oldest;
  return TRUE;
}

BOOL ReadEventLogA(HANDLE eventLog, DWORD readFlags, DWORD, LPVOID buffer, DWORD numberOfBytesToRead,
                   DWORD* bytesRead, DWORD* minNumberOfBytesNeeded) {
  auto log = platform::LookupHandle<EventLogObject>(eventLog);
  if (!log) return Fail(ERROR_INVALID_HANDLE);
  if (readFlags != (EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ) || !bytesRead || !minNumberOfBytesNeeded ||
      (!buffer && numberOfBytesToRead != 0))
    return Fail(ERROR_INVALID_PARAMETER);
  std::lock_guard<std::mutex> guard(log->m);
  auto* out = static_cast<uint8_t*>(buffer);
  DWORD used = 0, needed = 0;
  DWORD rc = WithLog(*log, true, [&](FileBytes& f, const LogState& st) -> DWORD {
    if (st.noFile || st.Count() == 0) return ERROR_HANDLE_EOF;
    const FileHeader& h = st.header;
    if (!log->started) {
      log->started = true;
      log->nextNumber = h.oldestRecordNumber;
      log->offsetKnown = false;
    }
    uint32_t n = log->nextNumber;
    if (n >= h.currentRecordNumber) return ERROR_HANDLE_EOF;
    if (n < h.oldestRecordNumber) return ERROR_EVENTLOG_FILE_CHANGED;  // overwritten since the last read
    uint64_t off = h.startOffset;
    RecordParts parts;
    uint32_t length = 0;
    const uint8_t* bytes = nullptr;
    if (log->offsetKnown) {
      off = log->nextOffset;
      // The remembered place may have been overwritten by a wrap; then walk from the oldest.
      if (LoadRecord(f, st, off, n, log->record, parts, length, bytes) != ERROR_SUCCESS) log->offsetKnown = false;
    }
    if (!log->offsetKnown) {
      off = h.startOffset;
      for (uint32_t k = h.oldestRecordNumber; k < n; ++k) {
        const uint8_t* p = f.View(off, kFixedSize);
        if (!p || size_t(st.size - off) < kFixedSize) return ERROR_EVENTLOG_FILE_CORRUPT;
        uint32_t len = LoadLe32(p);
        if (LoadLe32(p + 4) != kSignature || LoadLe32(p + 8) != k || len < kFixedSize + 8 ||
            len > Dist(h.startOffset, h.endOffset, st.size) - Dist(h.startOffset, off, st.size))
          return ERROR_EVENTLOG_FILE_CORRUPT;
        off = NextRecord(off, len, st.size, h.endOffset);
      }
      if (DWORD e = LoadRecord(f, st, off, n, log->record, parts, length, bytes); e != ERROR_SUCCESS) return e;
    }
    // `parts` and `bytes` hold record n at `off`.
    while (true) {
      const DWORD room = numberOfBytesToRead - used;
      if (AnsiUpperBound(parts) > room) {
        uint32_t ansi = AnsiSize(bytes, parts);
        if (ansi > room) {
          if (used == 0) {
            needed = ansi;
            return ERROR_INSUFFICIENT_BUFFER;
          }
          break;
        }
      }
      used += WriteAnsi(bytes, parts, out + used);
      ++n;
      off = NextRecord(off, length, st.size, h.endOffset);
      log->nextNumber = n;
      log->nextOffset = off;
      log->offsetKnown = true;
      if (n >= h.currentRecordNumber) break;
      // A damaged record after good ones: hand out the good ones; the next read reports it.
      if (LoadRecord(f, st, off, n, log->record, parts, length, bytes) != ERROR_SUCCESS) break;
    }
    return ERROR_SUCCESS;
  });
  if (rc == ERROR_INSUFFICIENT_BUFFER) {
    *minNumberOfBytesNeeded = needed;
    *bytesRead = 0;
    return Fail(rc);
  }
  if (rc != ERROR_SUCCESS) return Fail(rc);
  *bytesRead = used;
  *minNumberOfBytesNeeded = 0;
  return TRUE;
}

namespace {

// An empty log of the first growth step, put in place of the old file whole.
DWORD WriteNewLog(const std::string& path, DWORD maxSize, DWORD retention) {
  std::vector<uint8_t> init(kHeaderSize + kEofSize);
  FileHeader h;
  h.maxSize = maxSize;
  h.retention = retention;
  WriteHeader(init.data(), h);
  WriteEof(init.data() + kHeaderSize, EofRecord());
  auto fill = [&](int fd) {
    return ::ftruncate(fd, kGrowStep) != 0 ? errno : platform::WriteAll(fd, init.data(), init.size());
  };
  return platform::Win32FromReplaceError(platform::ReplaceFile(path, fill, 0644));
}

// The saved copy of a log is whole or absent, and never replaces a file: it is written beside
// its name (through the folder opened beneath the drive, as every image file is), synced, then
// linked to the name (which fails if the name exists) and the folder synced, so the copy is on
// the disk before the log it came from is emptied.
DWORD SaveLogCopy(int from, const std::string& to) {
  std::string name;
  int folder = platform::OpenNativeFolder(to, name);
  if (folder < 0) return Win32FromErrno(errno);
  uint64_t random = 0;
  if (::getrandom(&random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random))
    random = static_cast<uint64_t>(::getpid()) << 16 ^ static_cast<uint64_t>(::time(nullptr));
  const std::string tmp = ".evt-save-" + std::to_string(random);
  int out = ::openat(folder, tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (out < 0) {
    int e = errno;
    ::close(folder);
    return Win32FromErrno(e);
  }
  if (out < 0) return Win32FromErrno(errno);
  std::vector<uint8_t> buf(kWindow);
  off_t pos = 0;
  DWORD rc = ::fchmod(out, 0644) == 0 ? ERROR_SUCCESS : Win32FromErrno(errno);
  while (rc == ERROR_SUCCESS) {
    ssize_t n = ::pread(from, buf.data(), buf.size(), pos);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      rc = ERROR_READ_FAULT;
      break;
    }
    if (n == 0) break;
    if (int e = platform::WriteAll(out, buf.data(), static_cast<size_t>(n))) {
      rc = e == ENOSPC || e == EDQUOT ? ERROR_DISK_FULL : ERROR_WRITE_FAULT;
      break;
    }
    pos += n;
  }
  if (rc == ERROR_SUCCESS && ::fsync(out) != 0) rc = ERROR_WRITE_FAULT;
  if (::close(out) != 0 && rc == ERROR_SUCCESS) rc = ERROR_WRITE_FAULT;
  if (rc == ERROR_SUCCESS && ::linkat(folder, tmp.c_str(), folder, name.c_str(), 0) != 0) rc = Win32FromErrno(errno);
  ::unlinkat(folder, tmp.c_str(), 0);
  if (rc == ERROR_SUCCESS && ::fsync(folder) != 0) rc = Win32FromErrno(errno);
  ::close(folder);
  return rc;
}

}  // namespace

BOOL ClearEventLogA(HANDLE eventLog, LPCSTR backupFileName) {
  auto log = platform::LookupHandle<EventLogObject>(eventLog);
  if (!log || log->saved) return Fail(ERROR_INVALID_HANDLE);
  std::lock_guard<std::mutex> guard(log->m);
  platform::ComputerImage image;
  if (platform::ReachComputer(log->computer.c_str(), image) != ERROR_SUCCESS) return Fail(RPC_S_SERVER_UNAVAILABLE);
  if (image.host.Denies("clear")) return Fail(ERROR_ACCESS_DENIED);
  std::string backup;
  if (backupFileName) {
    if (DWORD rc = platform::ResolvePath(backupFileName, backup, platform::PathUse::Create); rc != ERROR_SUCCESS)
      return Fail(rc);
  }
  const std::string& path = log->location.file;
  FileId id;
  // The lock is held from the copy to the new file: a record written meanwhile waits for it and
  // goes into the new log, never between the two.
  int fd = path.empty() ? -1 : OpenLocked(path, O_RDWR, LOCK_EX, id);
  const int openError = errno;
  struct stat st;
  if (!backup.empty() && platform::StatNative(backup, st) == 0) {
    if (fd >= 0) ::close(fd);
    return Fail(ERROR_ALREADY_EXISTS);
  }
  if (fd < 0) {
    if (!path.empty() && openError != ENOENT) return Fail(OpenFailure(openError));
    // No file: the log is empty already, and nothing is written.
    log->started = false;
    log->offsetKnown = false;
    return TRUE;
  }
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  if (!backup.empty()) {
    if (DWORD rc = SaveLogCopy(fd, backup); rc != ERROR_SUCCESS) return Fail(rc);
  }
  DWORD maxSize = log->location.maxSize, retention = log->location.retention;
  if (DWORD rc = WriteNewLog(path, maxSize, retention); rc != ERROR_SUCCESS) return Fail(rc);
  // This handle reads the new, empty log from its start; other handles find the file changed.
  if (platform::StatNative(path, st) == 0) {
    log->id = IdOf(st);
    log->haveId = true;
  }
  log->started = false;
  log->offsetKnown = false;
  log->windowLength = 0;
  return TRUE;
}

BOOL CloseEventLog(HANDLE eventLog) {
  if (!platform::ReleaseHandle<EventLogObject>(eventLog)) return Fail(ERROR_INVALID_HANDLE);
  return TRUE;
}

namespace platform::testing {
void FailLogWritesAfter(int writes) { writesLeft.store(writes); }
}  // namespace platform::testing
