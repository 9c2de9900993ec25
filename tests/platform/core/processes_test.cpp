// Processes as the programs start them: the data-source manager (started, watched, ended) and
// the desktop's opener behind WinExec's Notepad and WinHelpA.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "platform/core/desktop.h"
#include "platform/core/threads.h"
#include "tests/support/fake_opener.h"
#include "tests/support/temp_network.h"

namespace {

constexpr DWORD kSentinel = 0xDEADBEEF;

std::string Script(const TempNetwork& net, const std::string& name, const std::string& body, unsigned mode = 0755) {
  std::string path = net.root() + "/" + name;
  TempNetwork::WriteFile(path, body);
  ::chmod(path.c_str(), mode);
  return path;
}

BOOL Start(const std::string& path, PROCESS_INFORMATION& info) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  return CreateProcessA(path.c_str(), nullptr, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                        &startup, &info);
}

TEST(ProcessesTest, ProgramsThatCannotStartSayWhy) {
  TempNetwork net;
  std::filesystem::create_directories(net.root() + "/folder");
  struct Case {
    std::string path;
    DWORD error;
  } cases[] = {
      {net.root() + "/missing", ERROR_FILE_NOT_FOUND},
      {Script(net, "not-executable", "#!/bin/sh\nexit 0\n", 0644), ERROR_ACCESS_DENIED},
      {net.root() + "/folder", ERROR_ACCESS_DENIED},
      {Script(net, "no-program", "\x7f" "ELF garbage", 0755), ERROR_BAD_EXE_FORMAT},
  };
  for (const auto& c : cases) {
    PROCESS_INFORMATION info{};
    SetLastError(kSentinel);
    EXPECT_FALSE(Start(c.path, info)) << c.path;
    EXPECT_EQ(GetLastError(), c.error) << c.path;
    EXPECT_EQ(info.hProcess, nullptr);
  }
}

TEST(ProcessesTest, ARunningProgramIsWatchedAndEndedOnlyWhileItRuns) {
  TempNetwork net;
  PROCESS_INFORMATION info{};
  ASSERT_TRUE(Start(Script(net, "waits", "#!/bin/sh\nexec sleep 60\n"), info));
  EXPECT_TRUE(CloseHandle(info.hThread));
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeProcess(info.hProcess, &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  EXPECT_EQ(WaitForSingleObject(info.hProcess, 0), WAIT_TIMEOUT);
  ASSERT_TRUE(TerminateProcess(info.hProcess, 7));
  EXPECT_EQ(WaitForSingleObject(info.hProcess, 5000), WAIT_OBJECT_0);
  ASSERT_TRUE(GetExitCodeProcess(info.hProcess, &code));
  EXPECT_EQ(code, 7u);
  // An ended process is left alone.
  SetLastError(kSentinel);
  EXPECT_FALSE(TerminateProcess(info.hProcess, 0));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(CloseHandle(info.hProcess));

  ASSERT_TRUE(Start(Script(net, "ends", "#!/bin/sh\nexit 3\n"), info));
  EXPECT_EQ(WaitForSingleObject(info.hThread, 5000), WAIT_OBJECT_0) << "the primary thread ends with the process";
  ASSERT_TRUE(GetExitCodeProcess(info.hProcess, &code));
  EXPECT_EQ(code, 3u);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
}

TEST(ProcessesTest, NotepadAndHelpOpenThroughTheDesktopOpener) {
  TempNetwork net;
  FakeOpener opener(net.root());
  // Notepad takes the whole rest of the line as its file, blanks and all.
  const std::string log = net.root() + "/run log.txt";
  EXPECT_GT(WinExec(("Notepad.exe " + log).c_str(), SW_SHOWDEFAULT), 31u);
  EXPECT_EQ(opener.Opened(1), log + "\n");

  const std::string help = net.root() + "/install\\Tallyard.hlp";
  SetLastError(kSentinel);
  EXPECT_FALSE(WinHelpA(nullptr, help.c_str(), HELP_CONTEXT, 1001));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  const std::string page = net.root() + "/install/help/1001.html";
  TempNetwork::WriteFile(page, "<html></html>");
  EXPECT_TRUE(WinHelpA(nullptr, help.c_str(), HELP_CONTEXT, 1001));
  EXPECT_EQ(opener.Opened(2), log + "\n" + page + "\n");
}

TEST(ProcessesTest, CommandLinesSplitAsWindowsGroupsThem) {
  using V = std::vector<std::string>;
  EXPECT_EQ(platform::SplitCommandLine("  a  \"b c\" d\"e f\"g "), (V{"a", "b c", "de fg"}));
  EXPECT_EQ(platform::SplitCommandLine(""), V{});
  EXPECT_EQ(platform::SplitCommandLine("\"\""), V{""});
}

}  // namespace
