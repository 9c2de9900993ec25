#include "platform/core/threads.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

extern "C" char** environ;

namespace {

std::atomic<int> failThreadStarts{0};
std::atomic<DWORD> nextThreadId{1000};

struct ThreadState {
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
  DWORD exitCode = STILL_ACTIVE;
  // A process: its id while it runs (it is reaped only under the lock, after `done` is set, so
  // a signal sent under the lock never reaches a recycled id), and the code TerminateProcess gave.
  pid_t pid = 0;
  bool terminated = false;
  DWORD terminatedCode = 0;
};

// Anything a wait can wait for.
struct WaitableObject : HandleObject {
  std::shared_ptr<ThreadState> state = std::make_shared<ThreadState>();
};

struct ThreadObject : WaitableObject {
  DWORD id = 0;
};

struct ProcessObject : WaitableObject {};

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
  auto thread = platform::LookupHandle<WaitableObject>(handle);
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

namespace {

DWORD Win32FromSpawnError(int err) {
  switch (err) {
    case ENOEXEC: return ERROR_BAD_EXE_FORMAT;
    default: return Win32FromErrno(err);
  }
}

// Waits for the child to end without reaping it, records its code, then reaps it under the lock.
void WatchProcess(std::shared_ptr<ThreadState> state) {
  siginfo_t info{};
  int rc;
  do {
    rc = ::waitid(P_PID, static_cast<id_t>(state->pid), &info, WEXITED | WNOWAIT);
  } while (rc != 0 && errno == EINTR);
  std::lock_guard lock(state->m);
  DWORD code = 0;
  if (rc == 0) code = info.si_code == CLD_EXITED ? static_cast<DWORD>(info.si_status) : 128u + static_cast<DWORD>(info.si_status);
  state->exitCode = state->terminated ? state->terminatedCode : code;
  state->done = true;
  ::waitpid(state->pid, nullptr, 0);
  state->cv.notify_all();
}

}  // namespace

namespace platform {

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < commandLine.size()) {
    while (i < commandLine.size() && (commandLine[i] == ' ' || commandLine[i] == '\t')) ++i;
    if (i >= commandLine.size()) break;
    std::string word;
    bool quoted = false;
    for (; i < commandLine.size(); ++i) {
      char c = commandLine[i];
      if (c == '"') quoted = !quoted;
      else if (!quoted && (c == ' ' || c == '\t')) break;
      else word.push_back(c);
    }
    words.push_back(word);
  }
  return words;
}

HANDLE StartProgram(const std::vector<std::string>& argv, const char* currentDirectory) {
  if (argv.empty() || argv[0].empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (currentDirectory && *currentDirectory) posix_spawn_file_actions_addchdir_np(&actions, currentDirectory);
  auto object = std::make_shared<ProcessObject>();
  pid_t pid = 0;
  const bool onPath = argv[0].find('/') == std::string::npos;
  int err = onPath ? posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ)
                   : posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (err != 0) {
    SetLastError(Win32FromSpawnError(err));
    return nullptr;
  }
  object->state->pid = pid;
  try {
    std::thread(WatchProcess, object->state).detach();
  } catch (const std::system_error&) {
    // Unwatched, the child could never be told apart from a recycled id: it is not kept.
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return static_cast<HANDLE>(platform::RegisterHandle(object));
}

}  // namespace platform

BOOL CreateProcessA(LPCSTR applicationName, LPSTR commandLine, void*, void*, BOOL, DWORD, void* environment,
                    LPCSTR currentDirectory, STARTUPINFOA*, PROCESS_INFORMATION* processInformation) {
  if (environment || !processInformation || ((!applicationName || !*applicationName) && (!commandLine || !*commandLine))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::vector<std::string> argv = platform::SplitCommandLine(commandLine ? commandLine : "");
  if (applicationName && *applicationName) {
    std::string native;
    if (DWORD rc = platform::ResolvePath(applicationName, native); rc != ERROR_SUCCESS) {
      SetLastError(rc);
      return FALSE;
    }
    // The application name is a file, never looked up on PATH.
    if (native.find('/') == std::string::npos) native = "./" + native;
    // With both given, the command line's first word is the program's own name, as on Windows.
    if (argv.empty()) argv.push_back(native);
    else argv[0] = native;
  } else if (argv.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  HANDLE process = platform::StartProgram(argv, currentDirectory);
  if (!process) return FALSE;
  auto object = platform::LookupHandle<ProcessObject>(process);
  auto thread = std::make_shared<ThreadObject>();
  thread->state = object->state;
  thread->id = nextThreadId.fetch_add(1);
  processInformation->hProcess = process;
  processInformation->hThread = static_cast<HANDLE>(platform::RegisterHandle(thread));
  processInformation->dwProcessId = static_cast<DWORD>(object->state->pid);
  processInformation->dwThreadId = thread->id;
  return TRUE;
}

BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode) {
  auto object = platform::LookupHandle<ProcessObject>(process);
  if (!object || !exitCode) {
    SetLastError(object ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard lock(object->state->m);
  *exitCode = object->state->exitCode;
  return TRUE;
}

BOOL TerminateProcess(HANDLE process, UINT exitCode) {
  auto object = platform::LookupHandle<ProcessObject>(process);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  ThreadState& s = *object->state;
  std::lock_guard lock(s.m);
  if (s.done) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  s.terminated = true;
  s.terminatedCode = exitCode;
  ::kill(s.pid, SIGKILL);
  return TRUE;
}

namespace platform::testing {
void FailThreadStarts(int count) { failThreadStarts.store(count); }
}  // namespace platform::testing
