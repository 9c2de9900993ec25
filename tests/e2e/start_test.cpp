// Both programs started as a user starts them: the instance check across processes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <tuple>

#include "platform/core/threads.h"
#include "tests/support/temp_network.h"
#include "tests/support/tool_run.h"

namespace {

// Runs a program where there is no display: its exit code and what it said, on either stream.
std::pair<int, std::string> RunProgram(const std::string& program, const std::string& args = "") {
  std::string said;
  const int code = RunTool("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + Quoted(program) + args, &said);
  return {code, said};
}

const std::string kCorvane = std::string(TALLYARD_BINARY_DIR) + "/programs/corvane/corvane";
const std::string kPraxon = std::string(TALLYARD_BINARY_DIR) + "/programs/praxon/praxon";

// A process that holds an instance name until it is killed.
pid_t HoldName(const char* name) {
  int ready[2];
  if (::pipe(ready) != 0) return -1;
  pid_t child = ::fork();
  if (child == 0) {
    HANDLE h = CreateSemaphoreA(nullptr, 0, 1, name);
    char ok = (h && GetLastError() == ERROR_SUCCESS) ? 'y' : 'n';
    (void)!::write(ready[1], &ok, 1);
    for (;;) ::pause();
  }
  char ok = 0;
  (void)!::read(ready[0], &ok, 1);
  ::close(ready[0]);
  ::close(ready[1]);
  return ok == 'y' ? child : -1;
}

// Alone, each program gets past the instance check and, with no display, says so and ends; a
// second instance of either ends at once with code 0 and says nothing, beside the other program.
TEST(ProgramStartTest, ASecondStartEndsAtOnceWithCodeZero) {
  TempNetwork net;
  EXPECT_EQ(RunProgram(kCorvane).second, "corvane: no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is set)\n");
  for (auto [name, program, other] : {std::tuple{"Tallyard", kCorvane, kPraxon}, {"Praxon", kPraxon, kCorvane}}) {
    SCOPED_TRACE(name);
    pid_t holder = HoldName(name);
    ASSERT_GT(holder, 0);
    for (const char* args : {"", program == kCorvane ? " -S lab.imp" : ""})
      EXPECT_EQ(RunProgram(program, args), std::pair(0, std::string())) << "the second instance went on";
    const auto beside = RunProgram(other);
    EXPECT_EQ(beside.first, 0);
    EXPECT_NE(beside.second, "");
    // A holder killed outright does not lock the next start out.
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    EXPECT_NE(RunProgram(program).second, "");
  }
}

}  // namespace
