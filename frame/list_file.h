// Computer list files (".exp" written by export, ".imp" prepared by hand): one computer a line.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "frame/computer_list.h"
#include "platform/core/win32.h"

// Determines the types of the listed computers (bound by the program to the browse subsystem's
// lookup under the Loading dialog; null leaves every record "Unknown").
using TypeLookup = void (*)(ComputerList& list, HWND owner);
void SetTypeLookup(TypeLookup lookup);

// The first white-space-delimited word of a line, at most 17 bytes (never splitting a
// character); empty when the line holds no word. A NUL ends the line's text.
std::string FirstListWord(std::string_view line);

// What a list file may hold. The Loading dialog's bar counts computers in 16 bits, and a file
// past either bound is no list anyone keeps: it is refused whole, with a message, before it
// can cost minutes and gigabytes.
inline constexpr size_t kMaxListComputers = 65535;
inline constexpr size_t kMaxListFileBytes = 16 * 1024 * 1024;

// Replaces `list` with the names read from `file`, whole lines at a time, however long. False
// when the file names more than kMaxListComputers computers: reading stops there, and `list`
// holds the first ones.
bool ReadListNames(std::FILE* file, ComputerList& list);

// "name<TAB>typeText\n" for every selected record, in list order. False when the file cannot
// be written.
bool WriteListFile(const std::string& fileName, const ComputerList& list);

// Loads the named file into the process-wide list (with type lookup when interactive). False
// when the file cannot be opened, or passes the bounds above (said in a message box); the list
// is then unchanged.
bool LoadListFile(const std::string& fileName, bool interactive, HWND owner = nullptr);
bool LoadListFileInto(const std::string& fileName, bool interactive, ComputerList& list, HWND owner);

// "Export list...": the selected records to a file the user chooses ("*.exp"). False when the
// user cancelled or the file could not be written; no message either way.
bool ExportListFile(HWND owner);

// "Import list...": replaces the process-wide list with the names of a file the user chooses,
// then looks up their types under the Loading dialog owned by `owner`. False when the user
// cancelled or the file could not be opened; the list is then unchanged.
bool ImportListFile(HWND owner);
