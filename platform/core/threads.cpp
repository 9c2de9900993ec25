#include "platform/core/threads.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "platform/core/paths.h"

namespace {

std::atomic<int> failThreadStarts{0};
std::atomic<DWORD> nextThreadId{1000};

struct ThreadState {
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
  DWORD exitCode = STILL_ACTIVE;
};

struct ThreadObject : HandleObject {
  std::shared_ptr<ThreadState> state = std::make_shared<ThreadState>();
  DWORD id = 0;
};

struct InstanceLock : HandleObject {
  int fd = -1;
  ~InstanceLock() override {
    if (fd >= 0) ::close(fd);  // closing the descriptor drops the flock
  }
};

std::string LockFolder() {
  std::string base;
  if (const char* r = std::getenv("XDG_RUNTIME_DIR"); r && *r) {
    base = std::string(r) + "/tallyard";
  } else {
    base = "/tmp/tallyard-" + std::to_string(::getuid());
  }
  platform::MakeFolders(base, 0700);
  return base;
}

std::string LockFile(LPCSTR name) {
  std::string safe;
  for (const char* p = name; *p; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    safe.push_back(std::isalnum(c) || c == '-' || c == '_' || c == '.' ? static_cast<char>(c) : '_');
  }
  return LockFolder() + "/" + safe + ".lock";
}

int OpenLockFile(LPCSTR name) {
  return ::open(LockFile(name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
}

}  // namespace

HANDLE CreateThread(void*, std::size_t, LPTHREAD_START_ROUTINE start, LPVOID param, DWORD flags,
                    LPDWORD threadId) {
  if (!start || flags != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (failThreadStarts.load() > 0 && failThreadStarts.fetch_sub(1) > 0) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto object = std::make_shared<ThreadObject>();
  object->id = nextThreadId.fetch_add(1);
  std::shared_ptr<ThreadState> state = object->state;
  try {
    std::thread([state, start, param] {
      DWORD code = start(param);
      std::lock_guard lock(state->m);
      state->exitCode = code;
      state->done = true;
      state->cv.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (threadId) *threadId = object->id;
  return static_cast<HANDLE>(platform::RegisterHandle(object));
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  auto thread = platform::LookupHandle<ThreadObject>(handle);
  if (!thread) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  ThreadState& s = *thread->state;
  std::unique_lock lock(s.m);
  if (milliseconds == INFINITE) {
    s.cv.wait(lock, [&] { return s.done; });
    return WAIT_OBJECT_0;
  }
  return s.cv.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return s.done; })
             ? WAIT_OBJECT_0
             : WAIT_TIMEOUT;
}

BOOL GetExitCodeThread(HANDLE handle, LPDWORD exitCode) {
  auto thread = platform::LookupHandle<ThreadObject>(handle);
  if (!thread || !exitCode) {
    SetLastError(thread ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard lock(thread->state->m);
  *exitCode = thread->state->exitCode;
  return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
  if (!platform::ReleaseHandle<HandleObject>(handle)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

void Sleep(DWORD milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

HANDLE OpenSemaphoreA(DWORD, BOOL, LPCSTR name) {
  if (!name || !*name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  int fd = OpenLockFile(name);
  if (fd < 0) {
    SetLastError(Win32FromErrno(errno));
    return nullptr;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
    // Nobody holds the name: there is no such semaphore.
    ::close(fd);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  auto object = std::make_shared<InstanceLock>();
  object->fd = fd;  // a handle to somebody else's lock; holds nothing
  return static_cast<HANDLE>(platform::RegisterHandle(object));
}

HANDLE CreateSemaphoreA(void*, LONG initialCount, LONG maximumCount, LPCSTR name) {
  if (!name || !*name || initialCount < 0 || maximumCount <= 0 || initialCount > maximumCount) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  int fd = OpenLockFile(name);
  if (fd < 0) {
    SetLastError(Win32FromErrno(errno));
    return nullptr;
  }
  auto object = std::make_shared<InstanceLock>();
  object->fd = fd;
  bool held = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  HANDLE h = static_cast<HANDLE>(platform::RegisterHandle(object));
  SetLastError(held ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS);
  return h;
}

namespace platform::testing {
void FailThreadStarts(int count) { failThreadStarts.store(count); }
}  // namespace platform::testing
