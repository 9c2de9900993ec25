#include "platform/core/beneath.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "platform/core/paths.h"
#include "platform/eventlog/eventlog.h"
#include "platform/messages/message_dll_writer.h"
#include "platform/messages/message_module.h"
#include "platform/registry/hive_file.h"
#include "platform/registry/hive_image.h"
#include "platform/registry/registry.h"
#include "tests/support/temp_network.h"

namespace {

namespace fs = std::filesystem;

// Both ways of opening beneath a folder (openat2, and the walk for kernels without it).
class BeneathTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { platform::testing::ForceBeneathWalk(GetParam()); }
  void TearDown() override { platform::testing::ForceBeneathWalk(false); }
};

TEST_P(BeneathTest, LinksAreFollowedOnlyWhileTheyStayBeneath) {
  TempNetwork net;
  const std::string root = net.root() + "/drive", out = net.root() + "/outside";
  TempNetwork::WriteFile(root + "/a/b/file", "inside");
  TempNetwork::WriteFile(out + "/file", "outside");
  fs::create_directory_symlink("a/b", root + "/rel");
  fs::create_directory_symlink("../../outside", root + "/a/up");
  fs::create_directory_symlink(out, root + "/abs");
  fs::create_directory_symlink(root + "/a", root + "/absinside");  // absolute, even though it lands inside
  fs::create_symlink("../rel/file", root + "/a/chain");
  fs::create_symlink("missing", root + "/a/dangling");
  fs::create_symlink("loop", root + "/loop");
  struct Case {
    const char* path;
    int flags;
    int error;  // 0: opens
  } cases[] = {
      {"a/b/file", O_RDONLY, 0},
      {"rel/file", O_RDONLY, 0},
      {"a/chain", O_RDONLY, 0},
      {"a/b/../b/file", O_RDONLY, 0},
      {"a/up/file", O_RDONLY, EXDEV},
      {"abs/file", O_RDONLY, EXDEV},
      {"absinside/b/file", O_RDONLY, EXDEV},
      {"../outside/file", O_RDONLY, EXDEV},
      {"a/../../outside/file", O_RDONLY, EXDEV},
      {"a/chain", O_RDONLY | O_NOFOLLOW, ELOOP},
      {"a/dangling", O_RDONLY, ENOENT},
      {"loop", O_RDONLY, ELOOP},
      {"a/b/file/x", O_RDONLY, ENOTDIR},
      {"a/up/new", O_WRONLY | O_CREAT, EXDEV},
      {"a/b/file", O_WRONLY | O_CREAT | O_EXCL, EEXIST},
  };
  const int rootFd = ::open(root.c_str(), O_PATH | O_DIRECTORY);
  ASSERT_GE(rootFd, 0);
  for (const auto& c : cases) {
    errno = 0;
    int fd = platform::OpenBeneath(rootFd, c.path, c.flags, 0600);
    EXPECT_EQ(fd >= 0 ? 0 : errno, c.error) << c.path;
    if (fd >= 0) {
      char buf[16] = {};
      EXPECT_EQ(::read(fd, buf, sizeof buf), 6) << c.path;
      EXPECT_STREQ(buf, "inside") << c.path;
      ::close(fd);
    }
  }
  ::close(rootFd);
  EXPECT_FALSE(fs::exists(out + "/new"));
}

INSTANTIATE_TEST_SUITE_P(Kernel, BeneathTest, ::testing::Values(false, true),
                         [](const auto& p) { return p.param ? "Walk" : "Openat2"; });

// The image's config folder is swapped again and again with a link to a folder outside that
// holds files of the same names, while writers and readers of its hives, log and DLL run. Not
// one byte outside may change, and no reader may ever get what the outside files hold.
void SwapRace(bool walk) {
  platform::testing::ForceBeneathWalk(walk);
  TempNetwork net;
  net.AddComputer("SRV1");
  platform::ImageSpec spec;
  spec.name = "SRV1";
  ASSERT_EQ(platform::BuildComputerImage(spec), 0u);
  platform::ComputerImage image;
  ASSERT_EQ(platform::FindComputer("SRV1", image), 0u);
  const std::string system32 = image.root + "/C/WINNT/System32";
  const std::string config = system32 + "/config", outside = net.root() + "/outside";
  platform::EventLogLocation log;
  ASSERT_EQ(platform::LocateImageEventLog(image, "System", log), 0u);
  platform::EventInput record;
  record.source = "Inside";
  record.computer = "SRV1";
  ASSERT_EQ(platform::AppendEventRecords(log, {record}), 0u);
  ASSERT_EQ(platform::WriteImageValue(image, "SYSTEM\\Marker", "Where", platform::StringValue(REG_SZ, "inside"), true), 0u);
  TempNetwork::WriteFile(config + "/msg.dll", std::string([] {
    auto b = platform::WriteMessageDll({{0x0409, {{1, "inside"}}}});
    return std::string(b.begin(), b.end());
  }()));
  TempNetwork::WriteFile(config + "/gone.txt", "inside");
  // The same names outside, each saying so.
  fs::copy(config, outside, fs::copy_options::recursive);
  platform::EventLogLocation outsideLog = log;
  outsideLog.file = outside + "/SysEvent.Evt";
  record.source = "Outside";
  ASSERT_EQ(platform::AppendEventRecords(outsideLog, {record}), 0u);
  ASSERT_EQ(platform::ChangeHive(outside + "/SYSTEM", [](platform::Hive& hive) {
    platform::HiveNode node = 0;
    if (DWORD rc = hive.CreatePath({"Marker"}, node)) return rc;
    return hive.SetValue(node, "Where", platform::StringValue(REG_SZ, "outside"));
  }), 0u);
  auto dll = platform::WriteMessageDll({{0x0409, {{1, "outside"}}}});
  TempNetwork::WriteFile(outside + "/msg.dll", std::string(dll.begin(), dll.end()));
  std::map<std::string, std::string> before;
  for (const auto& e : fs::directory_iterator(outside)) before[e.path().string()] = TempNetwork::ReadFile(e.path());
  fs::create_directory_symlink(outside, system32 + "/config-link");

  std::atomic<int> running{6};
  std::atomic<int> leaks{0};
  constexpr int kRounds = 150;
  std::thread swapper([&] {
    // Each exchange is atomic: at every moment "config" is the folder or the link.
    for (int i = 0; i < 100000 && running.load() > 0; ++i)
      ::renameat2(AT_FDCWD, config.c_str(), AT_FDCWD, (system32 + "/config-link").c_str(), RENAME_EXCHANGE);
  });
  auto worker = [&](auto body) {
    return std::thread([&, body] {
      for (int i = 0; i < kRounds; ++i) body(i);
      running.fetch_sub(1);
    });
  };
  std::vector<std::thread> workers;
  workers.push_back(worker([&](int i) {
    platform::EventInput in;
    in.source = "Writer";
    in.strings = {std::to_string(i)};
    platform::AppendEventRecords(log, {in});
  }));
  workers.push_back(worker([&](int i) {
    platform::WriteImageValue(image, "SYSTEM\\Marker", "Count", platform::DwordValue(static_cast<DWORD>(i)), true);
  }));
  workers.push_back(worker([&](int) {
    platform::RegistryValue v;
    if (platform::ReadImageValue(image, "SYSTEM\\Marker", "Where", v) == 0 && platform::ValueText(v) != "inside") ++leaks;
  }));
  workers.push_back(worker([&](int) {
    HANDLE h = OpenEventLogA("SRV1", "System");
    if (!h) return;
    std::vector<uint8_t> buf(0x10000);
    DWORD got = 0, need = 0;
    while (ReadEventLogA(h, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, buf.data(),
                         static_cast<DWORD>(buf.size()), &got, &need)) {
      for (DWORD off = 0; off < got; off += reinterpret_cast<EVENTLOGRECORD*>(buf.data() + off)->Length)
        if (std::string(reinterpret_cast<char*>(buf.data() + off + sizeof(EVENTLOGRECORD))) == "Outside") ++leaks;
    }
    CloseEventLog(h);
  }));
  const int configFd = ::open(config.c_str(), O_PATH | O_DIRECTORY);  // the folder itself, wherever it is named
  ASSERT_GE(configFd, 0);
  workers.push_back(worker([&](int) {
    // Made again inside through the folder itself before each removal: a removal is quick, so
    // each round tries many times.
    for (int k = 0; k < 100; ++k) {
      ::close(::openat(configFd, "gone.txt", O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
      DeleteFileA("\\\\SRV1\\C$\\WINNT\\System32\\config\\gone.txt");
    }
  }));
  workers.push_back(worker([&](int) {
    HMODULE m = LoadLibraryExA("\\\\SRV1\\C$\\WINNT\\System32\\config\\msg.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!m) return;
    char* text = nullptr;
    if (FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER, m, 1, 0,
                       reinterpret_cast<LPSTR>(&text), 0, nullptr) > 0) {
      if (std::string(text) != "inside") ++leaks;
      LocalFree(text);
    }
    FreeLibrary(m);
  }));
  for (auto& w : workers) w.join();
  swapper.join();
  ::close(configFd);
  platform::testing::ForceBeneathWalk(false);
  EXPECT_EQ(leaks.load(), 0) << "outside content served";
  std::map<std::string, std::string> after;
  for (const auto& e : fs::directory_iterator(outside)) after[e.path().string()] = TempNetwork::ReadFile(e.path());
  EXPECT_TRUE(before == after) << "a file outside the image was written, made or removed";
}

TEST(ImageSwapRaceTest, NothingOutsideIsReadOrWritten) { SwapRace(false); }
TEST(ImageSwapRaceTest, NothingOutsideIsReadOrWrittenWithoutOpenat2) { SwapRace(true); }

}  // namespace
