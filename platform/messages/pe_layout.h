// Byte layout of the parts of a PE image that a message-table reader and writer touch: the
// DOS and COFF headers, the optional header's data directories, section headers, resource
// directories and the message table. Offsets only; every read goes through the little-endian
// accessors of platform/core/bytes.h, never through a cast of the buffer to a struct.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/core/bytes.h"

namespace platform::pe {

// DOS header.
constexpr size_t kDosMagic = 0x00;       // "MZ"
constexpr size_t kDosRelocOffset = 0x18; // e_lfarlc; loaders that check it want >= 0x40
constexpr size_t kDosNewHeader = 0x3C;   // e_lfanew: file offset of "PE\0\0"
constexpr size_t kDosHeaderSize = 0x40;

// COFF header, right after the 4-byte signature.
constexpr size_t kSignatureSize = 4;
constexpr size_t kCoffMachine = 0;
constexpr size_t kCoffSectionCount = 2;
constexpr size_t kCoffOptionalSize = 16;
constexpr size_t kCoffCharacteristics = 18;
constexpr size_t kCoffSize = 20;

// Optional header (offsets from its start).
constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr size_t kOptSizeOfHeaders = 60;
constexpr size_t kOptRvaCountPe32 = 92;
constexpr size_t kOptDirectoriesPe32 = 96;
constexpr size_t kOptRvaCountPe32Plus = 108;
constexpr size_t kOptDirectoriesPe32Plus = 112;
constexpr size_t kDirectorySize = 8;  // RVA, size
constexpr unsigned kResourceDirectory = 2;

// Section header, 40 bytes each.
constexpr size_t kSectionVirtualSize = 8;
constexpr size_t kSectionVirtualAddress = 12;
constexpr size_t kSectionRawSize = 16;
constexpr size_t kSectionRawPointer = 20;
constexpr size_t kSectionCharacteristics = 36;
constexpr size_t kSectionSize = 40;

// Resource directory: a 16-byte head, then 8-byte entries (named ones first).
constexpr size_t kResDirNamedCount = 12;
constexpr size_t kResDirIdCount = 14;
constexpr size_t kResDirSize = 16;
constexpr size_t kResEntrySize = 8;
constexpr uint32_t kResNameIsString = 0x80000000u;
constexpr uint32_t kResIsDirectory = 0x80000000u;
// Leaf: data RVA (an RVA, not an offset in the resource section), size, code page, reserved.
constexpr size_t kResDataRva = 0;
constexpr size_t kResDataSize = 4;
constexpr size_t kResDataEntrySize = 16;
constexpr uint32_t kRtMessageTable = 11;
constexpr uint32_t kMessageTableName = 1;  // the message compiler always names the table 1

// Message table: block count, then {LowId, HighId, OffsetToEntries} blocks; entries are
// {WORD Length (whole entry), WORD Flags, text padded to 4}.
constexpr size_t kMtBlockSize = 12;
constexpr size_t kMtEntryHeader = 4;
constexpr uint16_t kMtUnicode = 0x0001;

}  // namespace platform::pe
