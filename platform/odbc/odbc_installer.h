// The entry points of unixODBC's installer library (libodbcinst.so.2), loaded on first use and
// kept for the life of the process. For the odbc/ service's own files only.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/core/win32.h"

namespace platform::odbc_installer {

// unixODBC's configuration modes: which odbc.ini the profile calls read and write.
constexpr WORD kBothModes = 0, kUserMode = 1, kSystemMode = 2;

struct Installer {
  BOOL (*configDataSource)(HWND, WORD, LPCSTR, LPCSTR) = nullptr;
  BOOL (*writeDsnToIni)(LPCSTR, LPCSTR) = nullptr;
  BOOL (*removeDsnFromIni)(LPCSTR) = nullptr;
  BOOL (*writePrivateProfileString)(LPCSTR, LPCSTR, LPCSTR, LPCSTR) = nullptr;
  int (*getPrivateProfileString)(LPCSTR, LPCSTR, LPCSTR, LPSTR, int, LPCSTR) = nullptr;
  BOOL (*setConfigMode)(WORD) = nullptr;
  short (*installerError)(WORD, DWORD*, LPSTR, WORD, WORD*) = nullptr;
  char* (*systemFilePath)(char*) = nullptr;
  char* (*systemFileName)(char*) = nullptr;
  bool complete = false;
};

const Installer& LoadInstaller();

// The folder of the system's odbc.ini and odbcinst.ini.
std::string SystemFolder();

// The installer cannot write into an odbc.ini that does not exist yet (its first attempt only
// creates the file and fails), so an empty one is made beforehand. False when the file is
// missing and cannot be made, or is there but not writable.
bool EnsureWritableFile(const std::string& path);

// Writes the section `name` of the odbc.ini that `mode` selects: "Driver=" first (any section of
// that name is replaced), then every entry but a "Driver" of its own, in order. The file must
// exist. False when the library is missing or a write failed (the installer holds the reason).
bool WriteSection(WORD mode, const std::string& name, const std::string& driver,
                  const std::vector<std::pair<std::string, std::string>>& entries);

}  // namespace platform::odbc_installer
