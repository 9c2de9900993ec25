// Threads, waits and the single-instance lock, with kernel32's names and results.
#pragma once

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

namespace platform::testing {
// The next `count` calls of CreateThread fail with ERROR_NOT_ENOUGH_MEMORY (tests of the paths
// where a thread cannot be started).
void FailThreadStarts(int count);
}  // namespace platform::testing
