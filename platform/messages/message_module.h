// Message modules: a DLL loaded as a data file only (its message table is read, nothing in it
// ever runs) and the formatting of its messages, as kernel32 serves them.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/core/handles.h"
#include "platform/core/win32.h"

typedef HINSTANCE HMODULE;
typedef void* HLOCAL;
typedef std::uintptr_t DWORD_PTR;
typedef WORD LANGID;

enum : DWORD {
  DONT_RESOLVE_DLL_REFERENCES = 0x1,
  LOAD_LIBRARY_AS_DATAFILE = 0x2,
  LOAD_LIBRARY_AS_IMAGE_RESOURCE = 0x20,
  LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE = 0x40,

  FORMAT_MESSAGE_MAX_WIDTH_MASK = 0xFF,
  FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x100,
  FORMAT_MESSAGE_IGNORE_INSERTS = 0x200,
  FORMAT_MESSAGE_FROM_STRING = 0x400,
  FORMAT_MESSAGE_FROM_HMODULE = 0x800,
  FORMAT_MESSAGE_FROM_SYSTEM = 0x1000,
  FORMAT_MESSAGE_ARGUMENT_ARRAY = 0x2000,

  LMEM_FIXED = 0x0,
  LMEM_ZEROINIT = 0x40,
};

enum : LANGID {
  LANG_NEUTRAL = 0x00,
  SUBLANG_NEUTRAL = 0x00,
  SUBLANG_DEFAULT = 0x01,
  SUBLANG_SYS_DEFAULT = 0x02,
};
constexpr LANGID MAKELANGID(unsigned primary, unsigned sub) { return static_cast<LANGID>((sub << 10) | primary); }
constexpr unsigned PRIMARYLANGID(LANGID id) { return id & 0x3FFu; }
constexpr unsigned SUBLANGID(LANGID id) { return id >> 10; }

// Only as a data file: without LOAD_LIBRARY_AS_DATAFILE (or an image-resource flag) the call
// fails with ERROR_NOT_SUPPORTED, because nothing here can run a DLL. The path goes through
// the one path function, so an image's DLL can only be read from inside that image. hFile must
// be null. Not a PE image: ERROR_BAD_EXE_FORMAT.
HMODULE LoadLibraryExA(LPCSTR fileName, HANDLE file, DWORD flags);
BOOL FreeLibrary(HMODULE module);

// FROM_HMODULE, FROM_SYSTEM (both: the module first), FROM_STRING; IGNORE_INSERTS;
// ALLOCATE_BUFFER (then `buffer` is really an LPSTR* and the text is freed with LocalFree,
// `size` its minimum); ARGUMENT_ARRAY (then `arguments` is really a const DWORD_PTR*: strings
// for the default !s!, numbers for integer formats). Inserts without arguments fail with
// ERROR_INVALID_PARAMETER. Texts come out in UTF-8. Returns the length without the terminator,
// 0 on failure (317 no such message, 1812-1815 no table/language, 122 buffer too small,
// 235 empty result, 87 bad text or flags).
DWORD FormatMessageA(DWORD flags, const void* source, DWORD messageId, DWORD languageId, LPSTR buffer,
                     DWORD size, va_list* arguments);

HLOCAL LocalAlloc(UINT flags, std::size_t bytes);
HLOCAL LocalFree(HLOCAL memory);  // null on success, as Windows answers

namespace platform {

// The language that stands for the thread, user and system locale in the search for a
// message's language: the one set here, or with 0 (the start) the local computer's own, as its
// image's SYSTEM hive names it (Control\Nls\Language, Default), else 0x0409.
void SetDefaultLanguage(LANGID language);
LANGID DefaultLanguage();

// The escape processing of FormatMessageA on one text (UTF-8 in and out). Exposed for tests
// and the fuzz target. ERROR_SUCCESS, ERROR_INVALID_PARAMETER (a lone "%" at the end, a bad
// insert format, an insert without arguments) or ERROR_NO_WORK_DONE (empty result).
DWORD ExpandMessageText(std::string_view text, DWORD flags, const DWORD_PTR* arguments, std::string& out);

// ANSI message-table entries are in code page 1252 (UTF-16 ones: platform/core/text.h).
std::string Utf8FromCp1252(std::string_view text);

// Parsed modules are kept by file identity (device, inode, size, modification time), so a
// module loaded and freed for every record is read once. Off: every load parses the file
// (the benchmark's yardstick). Clearing drops the kept modules.
void SetModuleCacheEnabled(bool on);
void ClearModuleCache();
std::size_t CachedModuleCount();

}  // namespace platform
