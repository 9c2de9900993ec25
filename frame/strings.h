// The program's string table: user-visible texts and run outcome codes share its identifiers.
#pragma once

#include <string>

#include "platform/core/win32.h"

struct StringEntry {
  UINT id;
  const char* text;
};

struct StringTable {
  const StringEntry* entries;
  size_t count;
};

// The program binds its own table at start (programs/corvane, programs/praxon).
void SetStringTable(const StringTable& table);
const StringTable& CurrentStringTable();

// Copies string `id` into `buffer` (cut without splitting a character). Returns its length,
// or 0 when the table has no such string (the buffer then holds an empty string).
int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int bufferSize);

// Outcome identifiers shared by both programs (their texts differ where the tables differ).
enum : UINT {
  IDS_ABOUT = 1,
  IDS_UNKNOWN_ERROR = 2,
  IDS_NOT_INSTALLED = 3,
  IDS_INVALID_VALUE = 4,
  IDS_OPERATION_CANCELLED = 5,
  IDS_COMPLETED = 11,
  IDS_UNABLE_TO_OPEN_LOG = 15,
  IDS_UNABLE_TO_READ_LOG = 16,
  IDS_UNABLE_TO_WRITE_LOG = 17,
  IDS_UNABLE_TO_LOAD_MANAGER = 19,
  IDS_UNABLE_TO_READ_REGISTRY = 20,
  IDS_REGISTRY_UNAVAILABLE = 21,
  IDS_POLICY_NOT_SET = 22,
  IDS_SPECIFY_DATA_SOURCE = 23,
  IDS_UNABLE_TO_CLEAR_LOG = 24,
};
