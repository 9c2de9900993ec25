// Both programs started as a user starts them: the instance check across processes.
#include <gtest/gtest.h>
#include <signal.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/core/threads.h"
#include "tests/support/temp_network.h"

extern char** environ;

namespace {

struct Outcome {
  int exitCode = -1;
  std::string err;
};

// Runs a program with its standard error captured, where there is no display.
Outcome RunProgram(const std::string& program, std::vector<std::string> args = {}) {
  args.insert(args.begin(), {"-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM", program});
  std::string errFile = std::string(::getenv("XDG_RUNTIME_DIR")) + "/stderr.txt";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<char*> argv{const_cast<char*>("env")};
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid;
  Outcome out;
  if (posix_spawn(&pid, "/usr/bin/env", &actions, nullptr, argv.data(), environ) != 0) return out;
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  ::waitpid(pid, &status, 0);
  out.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  out.err = TempNetwork::ReadFile(errFile);
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
    char ok = (h && GetLastError() == 0) ? 'y' : 'n';
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
