// The byte layout of .evt files (the event logs of NT 3.1 to Server 2003): the file header, the
// event record and the EOF record. Everything is read and written through explicit little-endian
// accessors on byte buffers; the service code above never touches raw offsets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/bytes.h"
#include "platform/eventlog/eventlog.h"

namespace platform::evt {

constexpr uint32_t kHeaderSize = 0x30;
constexpr uint32_t kEofSize = 0x28;
constexpr uint32_t kFixedSize = 0x38;  // the fixed part of a record, never split at the end of the file
constexpr uint32_t kSignature = 0x654C664C;  // "LfLe"
constexpr uint32_t kFiller = 0x00000027;      // fills the end of the file when a record moves to 0x30
constexpr uint32_t kGrowStep = 64 * 1024;     // NT grows log files in these steps up to MaxSize

enum : uint32_t {
  kFlagDirty = 0x1,
  kFlagWrap = 0x2,
  kFlagLogFullWritten = 0x4,
  kFlagArchiveSet = 0x8,
};

// The file header, 0x30 bytes at offset 0.
struct FileHeader {
  uint32_t headerSize = kHeaderSize;
  uint32_t signature = kSignature;
  uint32_t majorVersion = 1;
  uint32_t minorVersion = 1;
  uint32_t startOffset = kHeaderSize;  // the oldest record
  uint32_t endOffset = kHeaderSize;    // the EOF record
  uint32_t currentRecordNumber = 1;    // the number the next record gets
  uint32_t oldestRecordNumber = 0;     // 0 when empty
  uint32_t maxSize = 0;
  uint32_t flags = 0;
  uint32_t retention = 0;
  uint32_t endHeaderSize = kHeaderSize;
};
FileHeader ReadHeader(const uint8_t* p);
void WriteHeader(uint8_t* p, const FileHeader& h);
// Sizes, signature and version as every .evt file has them.
bool HeaderIsWellFormed(const FileHeader& h);

// The EOF record, 0x28 bytes at the header's EndOffset; it is current even when the header is not.
struct EofRecord {
  uint32_t beginRecord = kHeaderSize;
  uint32_t endRecord = kHeaderSize;
  uint32_t currentRecordNumber = 1;
  uint32_t oldestRecordNumber = 0;
};
// True when the 0x28 bytes at p are an EOF record (both sizes and the 0x11111111..0x44444444 run).
bool ReadEof(const uint8_t* p, EofRecord& out);
void WriteEof(uint8_t* p, const EofRecord& e);

// The fixed 0x38 bytes of a record, on disk and in the A layout alike.
struct RecordFixed {
  uint32_t length = 0;
  uint32_t reserved = kSignature;
  uint32_t recordNumber = 0;
  uint32_t timeGenerated = 0;
  uint32_t timeWritten = 0;
  uint32_t eventId = 0;
  uint16_t eventType = 0;
  uint16_t numStrings = 0;
  uint16_t eventCategory = 0;
  uint16_t reservedFlags = 0;
  uint32_t closingRecordNumber = 0;
  uint32_t stringOffset = 0;
  uint32_t userSidLength = 0;
  uint32_t userSidOffset = 0;
  uint32_t dataLength = 0;
  uint32_t dataOffset = 0;
};
RecordFixed ReadFixed(const uint8_t* p);
void WriteFixed(uint8_t* p, const RecordFixed& f);

// Where the parts of one whole on-disk record lie, all offsets from the record's start. Texts are
// UTF-16LE; the ranges exclude the terminating NUL of the names but include those of the strings.
struct RecordParts {
  RecordFixed fixed;
  uint32_t sourceBegin = 0, sourceEnd = 0;
  uint32_t computerBegin = 0, computerEnd = 0;
  uint32_t sidBegin = 0, sidLength = 0;
  uint32_t stringsBegin = 0, stringsEnd = 0;
  uint32_t dataBegin = 0, dataLength = 0;
};

// Checks one whole record of `size` bytes (its Length) and finds its parts. False when anything
// is out of place: the signature, the length or its trailing copy, a text without terminator, an
// offset or length that leaves the record. Nothing outside [rec, rec + size) is read.
bool ParseRecord(const uint8_t* rec, uint32_t size, RecordParts& out);

// The record in the layout of the A calls: names and strings in UTF-8, offsets rebuilt, padding
// 0-3 bytes. AnsiSize gives the exact size; WriteAnsi writes that many bytes and returns the
// count. AnsiUpperBound is never below AnsiSize and costs nothing to compute.
uint32_t AnsiSize(const uint8_t* rec, const RecordParts& parts);
uint32_t WriteAnsi(const uint8_t* rec, const RecordParts& parts, uint8_t* out);
uint64_t AnsiUpperBound(const RecordParts& parts);

// A record on disk (UTF-16 texts) for the writer, with number and Length filled in.
std::vector<uint8_t> BuildRecord(const EventInput& in, uint32_t recordNumber);

// UTF-16LE -> UTF-8 as the A calls convert: malformed input becomes U+FFFD.
std::string Utf16ToUtf8(const uint8_t* p, size_t units);

}  // namespace platform::evt
