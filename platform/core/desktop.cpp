#include "platform/core/desktop.h"

#include <sys/stat.h>

#include <string>

#include "platform/core/paths.h"
#include "platform/core/threads.h"

namespace {

constexpr char kOpener[] = "xdg-open";

bool IsNotepad(const std::string& program) {
  size_t slash = program.find_last_of("\\/");
  std::string name = slash == std::string::npos ? program : program.substr(slash + 1);
  return platform::EqualsNoCase(name, "notepad.exe") || platform::EqualsNoCase(name, "notepad");
}

// The opener runs on its own; nobody waits for it, and its watcher reaps it.
DWORD Open(const std::string& native) {
  HANDLE process = platform::StartProgram({kOpener, native});
  if (!process) return GetLastError();
  CloseHandle(process);
  return ERROR_SUCCESS;
}

UINT WinExecResult(DWORD code) {
  switch (code) {
    case ERROR_SUCCESS: return 33;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return code;
    case ERROR_BAD_EXE_FORMAT: return ERROR_BAD_FORMAT;
    default: return 0;
  }
}

}  // namespace

namespace platform {

std::string HelpPagePath(const char* helpFile, std::uintptr_t context) {
  std::string native;
  if (ResolvePath(helpFile ? helpFile : "", native) != ERROR_SUCCESS) return {};
  size_t slash = native.find_last_of('/');
  std::string folder = slash == std::string::npos ? "." : native.substr(0, slash);
  return folder + "/help/" + std::to_string(context) + ".html";
}

}  // namespace platform

UINT WinExec(LPCSTR commandLine, UINT) {
  std::string line = commandLine ? commandLine : "";
  std::vector<std::string> words = platform::SplitCommandLine(line);
  if (words.empty()) return ERROR_FILE_NOT_FOUND;
  if (!IsNotepad(words[0])) {
    std::vector<char> copy(line.begin(), line.end());
    copy.push_back('\0');
    PROCESS_INFORMATION pi;
    if (!CreateProcessA(nullptr, copy.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &pi))
      return WinExecResult(GetLastError());
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return WinExecResult(ERROR_SUCCESS);
  }
  // Notepad takes everything after its own name as the file name, blanks included.
  size_t start = line.find_first_not_of(" \t");
  if (line[start] == '"') {
    size_t close = line.find('"', start + 1);
    start = close == std::string::npos ? line.size() : close + 1;
  } else {
    start = line.find_first_of(" \t", start);
    if (start == std::string::npos) start = line.size();
  }
  std::string file = line.substr(start);
  file.erase(0, file.find_first_not_of(" \t"));
  while (!file.empty() && (file.back() == ' ' || file.back() == '\t')) file.pop_back();
  std::string native;
  if (DWORD rc = platform::ResolvePath(file, native); rc != ERROR_SUCCESS) return WinExecResult(rc);
  return WinExecResult(Open(native));
}

BOOL WinHelpA(HWND, LPCSTR helpFile, UINT command, std::uintptr_t data) {
  if (command != HELP_CONTEXT) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string page = platform::HelpPagePath(helpFile, data);
  struct stat st;
  if (page.empty() || ::stat(page.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  if (DWORD rc = Open(page); rc != ERROR_SUCCESS) {
    SetLastError(rc);
    return FALSE;
  }
  return TRUE;
}
