// Threads, processes, waits and the single-instance lock, with kernel32's names and results.
#pragma once

#include <string>
#include <vector>

#include "platform/core/handles.h"
#include "platform/core/win32.h"

typedef DWORD (*LPTHREAD_START_ROUTINE)(LPVOID);

enum : DWORD {
  INFINITE = 0xFFFFFFFF,
  WAIT_OBJECT_0 = 0,
  WAIT_TIMEOUT = 258,
  WAIT_FAILED = 0xFFFFFFFF,
  STILL_ACTIVE = 259,
  SYNCHRONIZE = 0x00100000,
  NORMAL_PRIORITY_CLASS = 0x20,
  ERROR_BAD_EXE_FORMAT = 193,
};

// Starts `start(param)` on a new thread. The security and stack arguments are accepted and
// ignored; flags other than 0 answer ERROR_INVALID_PARAMETER.
HANDLE CreateThread(void* security, std::size_t stackSize, LPTHREAD_START_ROUTINE start, LPVOID param,
                    DWORD flags, LPDWORD threadId);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode);
BOOL CloseHandle(HANDLE handle);
void Sleep(DWORD milliseconds);

// The instance check. A named semaphore of Windows would outlive a crashed process on Linux,
// so the name stands for a lock file in the user's runtime folder held with flock(): the
// kernel drops the lock when the holder dies, however it dies.
// OpenSemaphoreA returns a handle only while another process holds the name.
// CreateSemaphoreA takes the name; if another process got it first it still returns a handle
// and sets ERROR_ALREADY_EXISTS, as Windows does for an existing semaphore.
HANDLE OpenSemaphoreA(DWORD access, BOOL inherit, LPCSTR name);
HANDLE CreateSemaphoreA(void* attributes, LONG initialCount, LONG maximumCount, LPCSTR name);

// Processes. A started program is watched by a thread of ours that reaps it when it ends, so an
// ended child never lingers; its handle then answers its exit code. Waits work on process
// handles as on thread handles.
struct STARTUPINFOA {
  DWORD cb = 0;  // only the size is looked at; the window placement fields have no meaning here
};
struct PROCESS_INFORMATION {
  HANDLE hProcess = nullptr;
  HANDLE hThread = nullptr;  // stands for the primary thread: it ends when the process ends
  DWORD dwProcessId = 0;
  DWORD dwThreadId = 0;
};

// `applicationName` goes through the platform's path function; without it the first word of
// `commandLine` is the program, looked up on PATH. The rest of the command line becomes the
// program's arguments (blank-separated, double quotes group). Security attributes, inheritance,
// the priority class and `startupInfo` are accepted and ignored; `environment` must be null (the
// caller's) and `currentDirectory` is honoured when given. A program that is missing answers
// ERROR_FILE_NOT_FOUND, one that may not be run ERROR_ACCESS_DENIED, one that is no program
// ERROR_BAD_EXE_FORMAT.
BOOL CreateProcessA(LPCSTR applicationName, LPSTR commandLine, void* processAttributes, void* threadAttributes,
                    BOOL inheritHandles, DWORD creationFlags, void* environment, LPCSTR currentDirectory,
                    STARTUPINFOA* startupInfo, PROCESS_INFORMATION* processInformation);
// STILL_ACTIVE while the process runs, then its exit code (a program killed by a signal that
// was not ours gives 128 + the signal's number, as a shell reports it).
BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode);
// Ends a running process at once (SIGKILL); its exit code becomes `exitCode`. A process that has
// already ended is left as it is and the call fails with ERROR_ACCESS_DENIED, as on Windows.
BOOL TerminateProcess(HANDLE process, UINT exitCode);

namespace platform {
// Starts `argv` (argv[0] with a slash is a path, else looked up on PATH) and returns the handle
// of its process, or null with the last error set.
HANDLE StartProgram(const std::vector<std::string>& argv, const char* currentDirectory = nullptr);
// The words of a Windows command line: blank-separated, double quotes group (and are dropped).
std::vector<std::string> SplitCommandLine(const std::string& commandLine);
}  // namespace platform

namespace platform::testing {
// The next `count` calls of CreateThread fail with ERROR_NOT_ENOUGH_MEMORY (tests of the paths
// where a thread cannot be started).
void FailThreadStarts(int count);
}  // namespace platform::testing
