// Whole-file replacement and the non-blocking open of regular files, on a real file system.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/core/file_replace.h"
#include "platform/core/regular_file.h"
#include "tests/support/temp_network.h"

namespace {

namespace fs = std::filesystem;

mode_t ModeOf(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

size_t Count(const std::string& folder) {
  return static_cast<size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

struct UmaskFor {
  explicit UmaskFor(mode_t mask) : old(::umask(mask)) {}
  ~UmaskFor() { ::umask(old); }
  mode_t old;
};

TEST(FileReplace, KeepsTheTargetsModeOrGivesTheNewFilesMode) {
  TempNetwork net;
  const std::string dir = net.root() + "/files";
  fs::create_directories(dir);
  const int folder = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  struct Case {
    mode_t existing;  // 0: no file yet
    mode_t given, umask, expected;
  } cases[] = {
      {0640, 0600, 022, 0640}, {0400, 0644, 022, 0400},  // replaced: the old file's mode
      {0, 0644, 077, 0644}, {0, 0600, 0, 0600}, {0, platform::kModeFromUmask, 027, 0640},
  };
  for (const Case& c : cases) {
    const std::string name = "f" + std::to_string(&c - cases), path = dir + "/" + name;
    if (c.existing) TempNetwork::WriteFile(path, "old");
    if (c.existing) ::chmod(path.c_str(), c.existing);
    UmaskFor mask(c.umask);
    EXPECT_FALSE(platform::ReplaceFileAt(folder, name, "new bytes", c.given)) << name;
    EXPECT_EQ(TempNetwork::ReadFile(path), "new bytes") << name;
    EXPECT_EQ(ModeOf(path), c.expected) << name;
  }
  ::close(folder);
  EXPECT_EQ(Count(dir), std::size(cases)) << "a temporary was left behind";
  // A link at the name is replaced, never followed.
  const std::string outside = net.root() + "/outside", link = dir + "/link";
  TempNetwork::WriteFile(outside, "keep me");
  ::chmod(outside.c_str(), 0666);
  fs::create_symlink(outside, link);
  EXPECT_FALSE(platform::ReplaceFile(link, "new", 0600));
  EXPECT_EQ(ModeOf(link), 0600u);
  EXPECT_EQ(TempNetwork::ReadFile(outside), "keep me");
}

TEST(FileReplace, AFailureAtAnyStepLeavesTheOldFileAndNoTemporary) {
  TempNetwork net;
  const std::string target = net.root() + "/target";
  struct Case {
    const char* what;
    std::function<platform::ReplaceError()> replace;
    int error;
    bool writing;
  } cases[] = {
      {"the filler fails halfway",
       [&] { return platform::ReplaceFile(target, [](int fd) { return platform::WriteAll(fd, "half", 4) + EIO; }); },
       EIO, true},
      {"the name is a folder", [&] { return platform::ReplaceFile(net.root() + "/folder", "new"); }, EISDIR, false},
  };
  TempNetwork::WriteFile(target, "old");
  TempNetwork::WriteFile(net.root() + "/folder/inside", "x");
  const size_t before = Count(net.root());
  for (const Case& c : cases) {
    const platform::ReplaceError e = c.replace();
    EXPECT_EQ(e.error, c.error) << c.what;
    EXPECT_EQ(e.writing, c.writing) << c.what;
    EXPECT_EQ(TempNetwork::ReadFile(target), "old") << c.what;
    EXPECT_EQ(Count(net.root()), before) << c.what;
  }
}

// A FIFO would block a plain open until a writer comes; a device would never end.
TEST(RegularFile, AnythingButARegularFileIsRefusedAtOnce) {
  TempNetwork net;
  const std::string fifo = net.root() + "/fifo", file = net.root() + "/file";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  TempNetwork::WriteFile(file, "text");
  ::alarm(20);  // a regression hangs; end it rather than the whole run
  const std::pair<std::string, int> cases[] = {{fifo, platform::kNotRegularFile},
                                               {"/dev/zero", platform::kNotRegularFile},
                                               {net.root(), platform::kNotRegularFile},
                                               {net.root() + "/none", ENOENT},
                                               {file, 0}};
  for (const auto& [path, error] : cases) {
    errno = 0;
    const int fd = platform::OpenRegularFile(path, O_RDONLY);
    EXPECT_EQ(fd < 0 ? errno : ::fcntl(fd, F_GETFL) & O_NONBLOCK, error) << path;
    if (fd >= 0) ::close(fd);
  }
  ::alarm(0);
}

TEST(RegularFile, WholeReadsStopAtTheirBound) {
  TempNetwork net;
  const std::string path = net.root() + "/file";
  TempNetwork::WriteFile(path, std::string(100000, 'b'));
  const std::pair<size_t, int> cases[] = {{100000, 0}, {99999, EFBIG}, {0, EFBIG}, {SIZE_MAX, 0}};
  for (const auto& [limit, error] : cases) {
    std::string out;
    EXPECT_EQ(platform::ReadRegularFile(path, limit, out), error) << limit;
    EXPECT_EQ(out.size(), error ? out.size() : 100000u) << limit;
  }
}

}  // namespace
