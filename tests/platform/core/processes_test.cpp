// Programs as Corvane starts its data-source manager: why one cannot start, and what an ended one
// answers.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/core/threads.h"
#include "tests/support/temp_network.h"

namespace {

constexpr DWORD kSentinel = 0xDEADBEEF;

std::string Script(const TempNetwork& net, const std::string& name, const std::string& body, unsigned mode = 0755) {
  TempNetwork::WriteFile(net.root() + "/" + name, body);
  ::chmod((net.root() + "/" + name).c_str(), mode);
  return net.root() + "/" + name;
}

BOOL Start(const std::string& path, PROCESS_INFORMATION& info) {
  STARTUPINFOA startup{sizeof startup};
  return CreateProcessA(path.c_str(), nullptr, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                        &startup, &info);
}

TEST(ProcessesTest, ProgramsThatCannotStartSayWhy) {
  TempNetwork net;
  std::filesystem::create_directories(net.root() + "/folder");
  const std::pair<std::string, DWORD> cases[] = {
      {net.root() + "/missing", ERROR_FILE_NOT_FOUND},
      {Script(net, "not-executable", "#!/bin/sh\n", 0644), ERROR_ACCESS_DENIED},
      {net.root() + "/folder", ERROR_ACCESS_DENIED},
      {Script(net, "no-program", "\x7f" "ELF garbage"), ERROR_BAD_EXE_FORMAT},
  };
  for (const auto& [path, error] : cases) {
    PROCESS_INFORMATION info{};
    SetLastError(kSentinel);
    EXPECT_FALSE(Start(path, info)) << path;
    EXPECT_EQ(GetLastError(), error) << path;
    EXPECT_EQ(info.hProcess, nullptr);
  }
}

// Running and ending a program the way the data-source manager is: the Settings dialog's tests.
TEST(ProcessesTest, AnEndedProgramKeepsItsCodeAndIsLeftAlone) {
  TempNetwork net;
  PROCESS_INFORMATION info{};
  ASSERT_TRUE(Start(Script(net, "ends", "#!/bin/sh\nexit 3\n"), info));
  EXPECT_EQ(WaitForSingleObject(info.hThread, 5000), WAIT_OBJECT_0) << "the primary thread ends with the process";
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code) && code == 3);
  SetLastError(kSentinel);
  EXPECT_FALSE(TerminateProcess(info.hProcess, 0));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(CloseHandle(info.hThread) && CloseHandle(info.hProcess));
}

}  // namespace
