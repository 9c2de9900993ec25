#include "platform/eventlog/evt_format.h"

#include <bit>
#include <cstring>

#include "platform/core/text.h"

namespace platform::evt {
namespace {

constexpr uint32_t kEofPattern[4] = {0x11111111, 0x22222222, 0x33333333, 0x44444444};

// Texts in event logs are nearly always ASCII: take that run without decoding, four units to a
// 64-bit word (the lane masks assume a little-endian machine).
static_assert(std::endian::native == std::endian::little);
size_t Utf8Size(const uint8_t* p, size_t units) {
  size_t i = 0;
  for (; i + 4 <= units; i += 4) {
    uint64_t v;
    std::memcpy(&v, p + 2 * i, 8);
    if (v & 0xFF80FF80FF80FF80ull) break;
  }
  while (i < units && p[2 * i + 1] == 0 && p[2 * i] < 0x80) ++i;
  size_t n = i;
  DecodeUtf16Le(p + 2 * i, units - i, [&](uint32_t c) { n += Utf8Length(c); });
  return n;
}

uint8_t* WriteUtf8(uint8_t* o, const uint8_t* p, size_t units) {
  size_t i = 0;
  for (; i + 4 <= units; i += 4) {
    uint64_t v;
    std::memcpy(&v, p + 2 * i, 8);
    if (v & 0xFF80FF80FF80FF80ull) break;
    // Pack the four low bytes together.
    v = (v | (v >> 8)) & 0x0000FFFF0000FFFFull;
    const uint32_t packed = static_cast<uint32_t>(v | (v >> 16));
    std::memcpy(o, &packed, 4);
    o += 4;
  }
  for (; i < units && p[2 * i + 1] == 0 && p[2 * i] < 0x80; ++i) *o++ = p[2 * i];
  DecodeUtf16Le(p + 2 * i, units - i, [&](uint32_t c) { o = PutUtf8(o, c); });
  return o;
}

// The end (exclusive, in bytes from rec) of the NUL-terminated UTF-16 text starting at `begin`,
// not counting the NUL; false when no NUL comes before `limit`.
bool FindText(const uint8_t* rec, uint32_t begin, uint32_t limit, uint32_t& end) {
  uint32_t i = begin;
  // Four units at a time while none of them is NUL.
  for (; i + 8 <= limit; i += 8) {
    uint64_t v;
    std::memcpy(&v, rec + i, 8);
    if (((v - 0x0001000100010001ull) & ~v & 0x8000800080008000ull) != 0) break;
  }
  for (; i + 2 <= limit; i += 2) {
    if (rec[i] == 0 && rec[i + 1] == 0) {
      end = i;
      return true;
    }
  }
  return false;
}

}  // namespace

FileHeader ReadHeader(const uint8_t* p) {
  FileHeader h;
  h.headerSize = LoadLe32(p + 0x00);
  h.signature = LoadLe32(p + 0x04);
  h.majorVersion = LoadLe32(p + 0x08);
  h.minorVersion = LoadLe32(p + 0x0C);
  h.startOffset = LoadLe32(p + 0x10);
  h.endOffset = LoadLe32(p + 0x14);
  h.currentRecordNumber = LoadLe32(p + 0x18);
  h.oldestRecordNumber = LoadLe32(p + 0x1C);
  h.maxSize = LoadLe32(p + 0x20);
  h.flags = LoadLe32(p + 0x24);
  h.retention = LoadLe32(p + 0x28);
  h.endHeaderSize = LoadLe32(p + 0x2C);
  return h;
}

void WriteHeader(uint8_t* p, const FileHeader& h) {
  StoreLe32(p + 0x00, h.headerSize);
  StoreLe32(p + 0x04, h.signature);
  StoreLe32(p + 0x08, h.majorVersion);
  StoreLe32(p + 0x0C, h.minorVersion);
  StoreLe32(p + 0x10, h.startOffset);
  StoreLe32(p + 0x14, h.endOffset);
  StoreLe32(p + 0x18, h.currentRecordNumber);
  StoreLe32(p + 0x1C, h.oldestRecordNumber);
  StoreLe32(p + 0x20, h.maxSize);
  StoreLe32(p + 0x24, h.flags);
  StoreLe32(p + 0x28, h.retention);
  StoreLe32(p + 0x2C, h.endHeaderSize);
}

bool HeaderIsWellFormed(const FileHeader& h) {
  return h.headerSize == kHeaderSize && h.endHeaderSize == kHeaderSize && h.signature == kSignature &&
         h.majorVersion == 1 && h.minorVersion == 1;
}

bool ReadEof(const uint8_t* p, EofRecord& out) {
  if (LoadLe32(p) != kEofSize || LoadLe32(p + 0x24) != kEofSize) return false;
  for (int i = 0; i < 4; ++i)
    if (LoadLe32(p + 4 + 4 * i) != kEofPattern[i]) return false;
  out.beginRecord = LoadLe32(p + 0x14);
  out.endRecord = LoadLe32(p + 0x18);
  out.currentRecordNumber = LoadLe32(p + 0x1C);
  out.oldestRecordNumber = LoadLe32(p + 0x20);
  return true;
}

void WriteEof(uint8_t* p, const EofRecord& e) {
  StoreLe32(p, kEofSize);
  for (int i = 0; i < 4; ++i) StoreLe32(p + 4 + 4 * i, kEofPattern[i]);
  StoreLe32(p + 0x14, e.beginRecord);
  StoreLe32(p + 0x18, e.endRecord);
  StoreLe32(p + 0x1C, e.currentRecordNumber);
  StoreLe32(p + 0x20, e.oldestRecordNumber);
  StoreLe32(p + 0x24, kEofSize);
}

RecordFixed ReadFixed(const uint8_t* p) {
  RecordFixed f;
  f.length = LoadLe32(p + 0x00);
  f.reserved = LoadLe32(p + 0x04);
  f.recordNumber = LoadLe32(p + 0x08);
  f.timeGenerated = LoadLe32(p + 0x0C);
  f.timeWritten = LoadLe32(p + 0x10);
  f.eventId = LoadLe32(p + 0x14);
  f.eventType = LoadLe16(p + 0x18);
  f.numStrings = LoadLe16(p + 0x1A);
  f.eventCategory = LoadLe16(p + 0x1C);
  f.reservedFlags = LoadLe16(p + 0x1E);
  f.closingRecordNumber = LoadLe32(p + 0x20);
  f.stringOffset = LoadLe32(p + 0x24);
  f.userSidLength = LoadLe32(p + 0x28);
  f.userSidOffset = LoadLe32(p + 0x2C);
  f.dataLength = LoadLe32(p + 0x30);
  f.dataOffset = LoadLe32(p + 0x34);
  return f;
}

void WriteFixed(uint8_t* p, const RecordFixed& f) {
  StoreLe32(p + 0x00, f.length);
  StoreLe32(p + 0x04, f.reserved);
  StoreLe32(p + 0x08, f.recordNumber);
  StoreLe32(p + 0x0C, f.timeGenerated);
  StoreLe32(p + 0x10, f.timeWritten);
  StoreLe32(p + 0x14, f.eventId);
  StoreLe16(p + 0x18, f.eventType);
  StoreLe16(p + 0x1A, f.numStrings);
  StoreLe16(p + 0x1C, f.eventCategory);
  StoreLe16(p + 0x1E, f.reservedFlags);
  StoreLe32(p + 0x20, f.closingRecordNumber);
  StoreLe32(p + 0x24, f.stringOffset);
  StoreLe32(p + 0x28, f.userSidLength);
  StoreLe32(p + 0x2C, f.userSidOffset);
  StoreLe32(p + 0x30, f.dataLength);
  StoreLe32(p + 0x34, f.dataOffset);
}

bool ParseRecord(const uint8_t* rec, uint32_t size, RecordParts& out) {
  if (size < kFixedSize + 4 || size % 4 != 0) return false;
  RecordFixed f = ReadFixed(rec);
  if (f.length != size || f.reserved != kSignature || LoadLe32(rec + size - 4) != size) return false;
  const uint32_t limit = size - 4;  // the trailing length copy is no part of any field
  out.fixed = f;
  out.sourceBegin = kFixedSize;
  if (!FindText(rec, out.sourceBegin, limit, out.sourceEnd)) return false;
  out.computerBegin = out.sourceEnd + 2;
  if (!FindText(rec, out.computerBegin, limit, out.computerEnd)) return false;
  // Offsets that go with a zero length may point anywhere; they are ignored then.
  out.sidBegin = out.sidLength = 0;
  if (f.userSidLength != 0) {
    if (f.userSidOffset < kFixedSize || static_cast<uint64_t>(f.userSidOffset) + f.userSidLength > limit) return false;
    out.sidBegin = f.userSidOffset;
    out.sidLength = f.userSidLength;
  }
  out.stringsBegin = out.stringsEnd = 0;
  if (f.numStrings != 0) {
    if (f.stringOffset < kFixedSize || f.stringOffset >= limit) return false;
    uint32_t pos = f.stringOffset;
    for (uint32_t i = 0; i < f.numStrings; ++i) {
      uint32_t end;
      if (!FindText(rec, pos, limit, end)) return false;
      pos = end + 2;
    }
    out.stringsBegin = f.stringOffset;
    out.stringsEnd = pos;
  }
  out.dataBegin = out.dataLength = 0;
  if (f.dataLength != 0) {
    if (f.dataOffset < kFixedSize || static_cast<uint64_t>(f.dataOffset) + f.dataLength > limit) return false;
    out.dataBegin = f.dataOffset;
    out.dataLength = f.dataLength;
  }
  return true;
}

uint32_t AnsiSize(const uint8_t* rec, const RecordParts& parts) {
  uint64_t n = kFixedSize;
  n += Utf8Size(rec + parts.sourceBegin, (parts.sourceEnd - parts.sourceBegin) / 2) + 1;
  n += Utf8Size(rec + parts.computerBegin, (parts.computerEnd - parts.computerBegin) / 2) + 1;
  n = (n + 3) & ~uint64_t{3};
  n += parts.sidLength;
  // Every string's NUL is one unit in UTF-16 and one byte in UTF-8, so the strings region
  // converts as a whole.
  n += Utf8Size(rec + parts.stringsBegin, (parts.stringsEnd - parts.stringsBegin) / 2);
  n += parts.dataLength;
  n = ((n + 3) & ~uint64_t{3}) + 4;
  // A record of a valid file is below 4 GiB on disk and its UTF-8 form at most 1.5 times that;
  // cap so a caller never sees a wrapped size.
  return n > 0xFFFFFFF0u ? 0xFFFFFFF0u : static_cast<uint32_t>(n);
}

uint32_t WriteAnsi(const uint8_t* rec, const RecordParts& parts, uint8_t* out) {
  RecordFixed f = parts.fixed;
  uint8_t* o = out + kFixedSize;
  o = WriteUtf8(o, rec + parts.sourceBegin, (parts.sourceEnd - parts.sourceBegin) / 2);
  *o++ = 0;
  o = WriteUtf8(o, rec + parts.computerBegin, (parts.computerEnd - parts.computerBegin) / 2);
  *o++ = 0;
  while ((o - out) % 4 != 0) *o++ = 0;
  f.userSidOffset = static_cast<uint32_t>(o - out);
  if (parts.sidLength) std::memcpy(o, rec + parts.sidBegin, parts.sidLength);
  o += parts.sidLength;
  f.stringOffset = static_cast<uint32_t>(o - out);
  o = WriteUtf8(o, rec + parts.stringsBegin, (parts.stringsEnd - parts.stringsBegin) / 2);
  f.dataOffset = static_cast<uint32_t>(o - out);
  if (parts.dataLength) std::memcpy(o, rec + parts.dataBegin, parts.dataLength);
  o += parts.dataLength;
  while ((o - out) % 4 != 0) *o++ = 0;
  const uint32_t length = static_cast<uint32_t>(o - out) + 4;
  StoreLe32(o, length);
  f.length = length;
  f.reservedFlags = 0;
  f.closingRecordNumber = 0;
  WriteFixed(out, f);
  return length;
}

uint64_t AnsiUpperBound(const RecordParts& parts) {
  // A UTF-16 unit becomes at most three bytes; names and strings carry their NULs along.
  const uint64_t units = (parts.sourceEnd - parts.sourceBegin) / 2 + (parts.computerEnd - parts.computerBegin) / 2 +
                         (parts.stringsEnd - parts.stringsBegin) / 2;
  return kFixedSize + 3 * units + 2 + 3 + parts.sidLength + parts.dataLength + 3 + 4;
}


std::string Utf16ToUtf8(const uint8_t* p, size_t units) {
  std::string out(Utf8Size(p, units), '\0');
  WriteUtf8(reinterpret_cast<uint8_t*>(out.data()), p, units);
  return out;
}

std::vector<uint8_t> BuildRecord(const EventInput& in, uint32_t recordNumber) {
  auto putText = [](std::vector<uint8_t>& b, const std::string& text) {
    std::u16string u = Utf8ToUtf16(text);
    for (char16_t c : u) {
      if (c == 0) break;  // a text ends at its first NUL, as it would on Windows
      b.push_back(static_cast<uint8_t>(c));
      b.push_back(static_cast<uint8_t>(c >> 8));
    }
    b.push_back(0);
    b.push_back(0);
  };
  std::vector<uint8_t> b(kFixedSize, 0);
  RecordFixed f;
  f.recordNumber = recordNumber;
  f.timeGenerated = in.timeGenerated;
  f.timeWritten = in.timeWritten;
  f.eventId = in.eventId;
  f.eventType = in.eventType;
  f.numStrings = static_cast<uint16_t>(in.strings.size());
  f.eventCategory = in.eventCategory;
  putText(b, in.source);
  putText(b, in.computer);
  while (b.size() % 4 != 0) b.push_back(0);
  f.userSidOffset = static_cast<uint32_t>(b.size());
  f.userSidLength = static_cast<uint32_t>(in.userSid.size());
  b.insert(b.end(), in.userSid.begin(), in.userSid.end());
  f.stringOffset = static_cast<uint32_t>(b.size());
  for (const auto& s : in.strings) putText(b, s);
  f.dataOffset = static_cast<uint32_t>(b.size());
  f.dataLength = static_cast<uint32_t>(in.data.size());
  b.insert(b.end(), in.data.begin(), in.data.end());
  while (b.size() % 4 != 0) b.push_back(0);
  b.resize(b.size() + 4);
  f.length = static_cast<uint32_t>(b.size());
  StoreLe32(b.data() + b.size() - 4, f.length);
  WriteFixed(b.data(), f);
  return b;
}

}  // namespace platform::evt
