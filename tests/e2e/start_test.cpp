// Both programs started as a user starts them: the instance check across processes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/core/threads.h"
#include "tests/support/temp_network.h"
#include "tests/support/tool_run.h"

namespace {

struct Outcome {
  int exitCode = -1;
  std::string err;  // what it said, on either stream
};

// Runs a program where there is no display.
Outcome RunProgram(const std::string& program, const std::vector<std::string>& args = {}) {
  std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + Quoted(program);
  for (const auto& a : args) command += " " + Quoted(a);
  Outcome out;
  out.exitCode = RunTool(command, &out.err);
  return out;
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

void Kill(pid_t pid) {
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
}

TEST(ProgramStartTest, ASecondStartEndsAtOnceWithCodeZero) {
  TempNetwork net;
  // Alone, each program gets past the instance check; with no display it says so and ends.
  Outcome alone = RunProgram(kCorvane);
  EXPECT_EQ(alone.exitCode, 0);
  EXPECT_EQ(alone.err, "corvane: no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is set)\n");

  pid_t holder = HoldName("Tallyard");
  ASSERT_GT(holder, 0);
  for (auto args : {std::vector<std::string>{}, std::vector<std::string>{"-S", "lab.imp"}}) {
    Outcome second = RunProgram(kCorvane, args);
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_EQ(second.err, "") << "the second instance went on";
  }
  // Praxon's name is its own: it runs beside Corvane.
  Outcome praxon = RunProgram(kPraxon);
  EXPECT_EQ(praxon.exitCode, 0);
  EXPECT_NE(praxon.err, "");

  // A holder killed outright does not lock the next start out.
  Kill(holder);
  Outcome after = RunProgram(kCorvane);
  EXPECT_EQ(after.exitCode, 0);
  EXPECT_NE(after.err, "");
}

TEST(ProgramStartTest, TheUnattendedRunNeedsNoDisplay) {
  TempNetwork net;
  // Not installed: the run says so and fails, without ever asking for a display.
  Outcome run = RunProgram(kCorvane, {"-S", net.root() + "/missing.imp"});
  EXPECT_EQ(run.exitCode, 3) << run.err;
  EXPECT_EQ(run.err.find("display"), std::string::npos) << run.err;
}

TEST(ProgramStartTest, PraxonRefusesASecondInstanceOfItself) {
  TempNetwork net;
  pid_t holder = HoldName("Praxon");
  ASSERT_GT(holder, 0);
  Outcome second = RunProgram(kPraxon);
  EXPECT_EQ(second.exitCode, 0);
  EXPECT_EQ(second.err, "");
  Outcome corvane = RunProgram(kCorvane);
  EXPECT_NE(corvane.err, "");
  Kill(holder);
}

}  // namespace
