#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>

#include "platform/core/threads.h"
#include "tests/support/temp_network.h"

namespace {

DWORD ReturnParam(LPVOID p) { return static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(p)); }

std::atomic<bool> released{false};

// Runs until the test lets it go, so "still running" needs no guess at timing.
DWORD WaitThenReturn(LPVOID p) {
  while (!released) Sleep(1);
  return ReturnParam(p);
}

TEST(ThreadsTest, WaitReportsTimeoutThenCompletionAndExitCode) {
  DWORD id = 0;
  released = false;
  HANDLE t = CreateThread(nullptr, 0, WaitThenReturn, reinterpret_cast<LPVOID>(42), 0, &id);
  ASSERT_NE(t, nullptr);
  EXPECT_NE(id, 0u);
  EXPECT_EQ(WaitForSingleObject(t, 10), WAIT_TIMEOUT);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  released = true;
  EXPECT_EQ(WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
  ASSERT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(code, 42u);
  EXPECT_TRUE(CloseHandle(t));
}

TEST(ThreadsTest, StaleAndForeignHandlesAnswerInvalidHandle) {
  HANDLE t = CreateThread(nullptr, 0, ReturnParam, nullptr, 0, nullptr);
  ASSERT_NE(t, nullptr);
  WaitForSingleObject(t, INFINITE);
  ASSERT_TRUE(CloseHandle(t));
  // The next object may live at the old one's address; its handle must still differ.
  HANDLE next = CreateThread(nullptr, 0, ReturnParam, nullptr, 0, nullptr);
  ASSERT_NE(next, nullptr);
  EXPECT_NE(next, t);
  SetLastError(kUnsetError);
  EXPECT_EQ(WaitForSingleObject(t, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(CloseHandle(t));
  WaitForSingleObject(next, INFINITE);
  EXPECT_TRUE(CloseHandle(next));
  int local = 0;
  SetLastError(kUnsetError);
  EXPECT_FALSE(CloseHandle(reinterpret_cast<HANDLE>(&local)));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(ThreadsTest, InjectedStartFailuresFailCleanly) {
  size_t before = platform::LiveHandleCount();
  platform::testing::FailThreadStarts(2);
  SetLastError(kUnsetError);
  EXPECT_EQ(CreateThread(nullptr, 0, ReturnParam, nullptr, 0, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(CreateThread(nullptr, 0, ReturnParam, nullptr, 0, nullptr), nullptr);
  HANDLE t = CreateThread(nullptr, 0, ReturnParam, nullptr, 0, nullptr);
  ASSERT_NE(t, nullptr);
  WaitForSingleObject(t, INFINITE);
  CloseHandle(t);
  EXPECT_EQ(platform::LiveHandleCount(), before);
  SetLastError(kUnsetError);
  EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(InstanceLockTest, OpenFindsOnlyANameAnotherProcessHolds) {
  TempNetwork net;
  // Nobody holds it yet.
  SetLastError(kUnsetError);
  EXPECT_EQ(OpenSemaphoreA(SYNCHRONIZE, FALSE, "Tallyard"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    HANDLE h = CreateSemaphoreA(nullptr, 0, 1, "Tallyard");
    char ok = (h && GetLastError() == ERROR_SUCCESS) ? 'y' : 'n';
    (void)!::write(ready[1], &ok, 1);
    for (;;) ::pause();
  }
  char ok = 0;
  ASSERT_EQ(::read(ready[0], &ok, 1), 1);
  EXPECT_EQ(ok, 'y');

  HANDLE other = OpenSemaphoreA(SYNCHRONIZE, FALSE, "Tallyard");
  EXPECT_NE(other, nullptr);
  if (other) CloseHandle(other);
  // Another program's name is free.
  EXPECT_EQ(OpenSemaphoreA(SYNCHRONIZE, FALSE, "Praxon"), nullptr);
  // Creating a held name still gives a handle, flagged as existing.
  SetLastError(kUnsetError);
  HANDLE late = CreateSemaphoreA(nullptr, 0, 1, "Tallyard");
  EXPECT_NE(late, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  CloseHandle(late);

  // A holder killed without any chance to clean up frees the name.
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  EXPECT_EQ(OpenSemaphoreA(SYNCHRONIZE, FALSE, "Tallyard"), nullptr);
  SetLastError(kUnsetError);
  HANDLE mine = CreateSemaphoreA(nullptr, 0, 1, "Tallyard");
  ASSERT_NE(mine, nullptr);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_SUCCESS});
  CloseHandle(mine);
  ::close(ready[0]);
  ::close(ready[1]);
}

}  // namespace
