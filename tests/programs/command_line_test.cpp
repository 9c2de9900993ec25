// Every program and tool answers --help and --version on standard output with exit code 0:
// without a display, beside a running copy of itself, before anything else starts. Corvane
// answers them only as its whole command line; anywhere else they are list files' names.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <tuple>

#include "platform/core/threads.h"
#include "tests/support/temp_network.h"
#include "tests/support/tool_run.h"

namespace {

const std::string kBin = TALLYARD_BINARY_DIR;

// Standard output and error apart, with no display of any kind. TempNetwork gives each test a
// private folder (and network, and lock folder) for it.
int RunProgram(const std::string& program, const std::string& args, std::string& out, std::string& err) {
  const std::string errFile = std::string(std::getenv("TALLYARD_NETWORK")) + "/../stderr";
  const int code = RunTool("(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + Quoted(kBin + "/" + program) +
                               " " + args + " 2>" + Quoted(errFile) + ")",
                           &out);
  err = TempNetwork::ReadFile(errFile);
  return code;
}

TEST(CommandLine, HelpAndVersionOfEveryProgram) {
  TempNetwork net;
  // Copies of both programs hold their instance locks meanwhile.
  HANDLE corvane = CreateSemaphoreA(nullptr, 0, 1, "Tallyard"), praxon = CreateSemaphoreA(nullptr, 0, 1, "Praxon");
  ASSERT_NE(corvane, nullptr);
  ASSERT_NE(praxon, nullptr);
  const struct {
    const char* path;
    const char* name;
  } programs[] = {
      {"programs/corvane/corvane", "corvane"},      {"programs/praxon/praxon", "praxon"},
      {"programs/sourcewarden/sourcewarden", "sourcewarden"}, {"tools/setup/tallyard-setup", "tallyard-setup"},
      {"tools/hostkit/hostkit", "hostkit"},
  };
  for (const auto& p : programs) {
    SCOPED_TRACE(p.name);
    std::string out, err;
    EXPECT_EQ(RunProgram(p.path, "--version", out, err), 0) << err;
    EXPECT_EQ(out, std::string(p.name) + " " TALLYARD_VERSION "\n");
    EXPECT_EQ(RunProgram(p.path, "--help", out, err), 0) << err;
    EXPECT_EQ(out.rfind(std::string("usage: ") + p.name, 0), 0u) << out;
    EXPECT_EQ(err, "");
  }
  CloseHandle(corvane);
  CloseHandle(praxon);
  // Refused: a list file called --help (the unattended run finds no installation), an option the
  // manager does not know, and the manager started where there is no display at all.
  const std::tuple<const char*, const char*, int, const char*> refusals[] = {
      {"programs/corvane/corvane", "-S --help", 3, "not installed"},
      {"programs/sourcewarden/sourcewarden", "--bogus", 2, "usage: sourcewarden"},
      {"programs/sourcewarden/sourcewarden", "", 1, "no display"}};
  for (const auto& [program, args, code, said] : refusals) {
    std::string out, err;
    EXPECT_EQ(RunProgram(program, args, out, err), code) << args << ": " << out << err;
    EXPECT_NE((out + err).find(said), std::string::npos) << args << ": " << out << err;
  }
}

// hostkit VERB --help for every verb its overview lists.
TEST(CommandLine, HelpOfEveryHostkitVerb) {
  TempNetwork net;
  std::string out, err;
  ASSERT_EQ(RunProgram("tools/hostkit/hostkit", "help", out, err), 0) << err;
  std::istringstream overview(out);
  std::string line;
  int verbs = 0;
  while (std::getline(overview, line)) {
    if (line.rfind("hostkit ", 0) != 0 || line.rfind("hostkit VERB", 0) == 0) continue;
    const std::string verb = line.substr(8, line.find(' ', 8) - 8);
    SCOPED_TRACE(verb);
    ++verbs;
    std::string help;
    EXPECT_EQ(RunProgram("tools/hostkit/hostkit", verb + " --help", help, err), 0) << err;
    EXPECT_EQ(help.rfind("usage: hostkit " + verb, 0), 0u) << help;
    EXPECT_NE(help.find("\n\n"), std::string::npos) << "no description: " << help;
  }
  EXPECT_GE(verbs, 13);
}

}  // namespace
