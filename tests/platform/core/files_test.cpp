// Whole-file replacement and the non-blocking open of regular files, on a real file system.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/core/file_replace.h"
#include "platform/core/regular_file.h"
#include "tests/support/temp_network.h"

namespace {

using platform::ReplaceError;

mode_t ModeOf(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

struct UmaskFor {
  explicit UmaskFor(mode_t mask) : old(::umask(mask)) {}
  ~UmaskFor() { ::umask(old); }
  mode_t old;
};

// A file size limit and SIGXFSZ ignored, so that a write past the limit fails with EFBIG; both
// restored on every path.
struct FileSizeLimit {
  explicit FileSizeLimit(rlim_t bytes) : oldSignal(::signal(SIGXFSZ, SIG_IGN)) {
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit lower{bytes, old.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &lower);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, oldSignal);
  }
  sighandler_t oldSignal;
  rlimit old{};
};

TEST(FileReplace, KeepsTheTargetsModeOrGivesTheNewFilesMode) {
  TempNetwork net;
  const std::string dir = net.root() + "/files";
  std::filesystem::create_directories(dir);
  const int folder = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(folder, 0);
  struct Case {
    const char* what;
    mode_t existing;  // 0: no file yet
    mode_t given;
    mode_t umask;
    mode_t expected;
  } cases[] = {
      {"replaced keeps its mode", 0640, 0600, 022, 0640},
      {"replaced read-only file", 0400, 0644, 022, 0400},
      {"new with a mode the umask would narrow", 0, 0644, 077, 0644},
      {"new private hive", 0, 0600, 0, 0600},
      {"new from the umask", 0, platform::kModeFromUmask, 027, 0640},
  };
  for (const Case& c : cases) {
    const std::string name = std::string("f-") + std::to_string(&c - cases);
    const std::string path = dir + "/" + name;
    if (c.existing) {
      TempNetwork::WriteFile(path, "old");
      ASSERT_EQ(::chmod(path.c_str(), c.existing), 0);
    }
    UmaskFor mask(c.umask);
    EXPECT_FALSE(platform::ReplaceFileAt(folder, name, "new bytes", c.given)) << c.what;
    EXPECT_EQ(TempNetwork::ReadFile(path), "new bytes") << c.what;
    EXPECT_EQ(ModeOf(path), c.expected) << c.what;
  }
  ::close(folder);
  EXPECT_EQ(Entries(dir).size(), std::size(cases)) << "a temporary was left behind";
}

// A link at the target's name is replaced by the file; what it pointed at is never touched.
TEST(FileReplace, ReplacesALinkWithoutFollowingIt) {
  TempNetwork net;
  const std::string outside = net.root() + "/outside", link = net.root() + "/link";
  TempNetwork::WriteFile(outside, "keep me");
  ASSERT_EQ(::chmod(outside.c_str(), 0666), 0);
  std::filesystem::create_symlink(outside, link);
  EXPECT_FALSE(platform::ReplaceFile(link, "new", 0600));
  EXPECT_FALSE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ModeOf(link), 0600u);
  EXPECT_EQ(TempNetwork::ReadFile(outside), "keep me");
}

TEST(FileReplace, AFailureAtAnyStepLeavesTheOldFileAndNoTemporary) {
  TempNetwork net;
  const std::string target = net.root() + "/target";
  struct Case {
    const char* what;
    std::function<ReplaceError()> replace;
    int error;
    bool writing;
  } cases[] = {
      {"the filler fails halfway",
       [&] { return platform::ReplaceFile(target, [](int fd) { return platform::WriteAll(fd, "half", 4) + EIO; }); },
       EIO, true},
      {"a write beyond the file size limit",
       [&] {
         FileSizeLimit limit(1024);
         return platform::ReplaceFile(target, std::string(4096, 'x'));
       },
       EFBIG, true},
      {"the name is a folder that is not empty",
       [&] { return platform::ReplaceFile(net.root() + "/folder", "new"); }, EISDIR, false},
      {"a name with a slash", [&] {
         const int folder = ::open(net.root().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
         ReplaceError e = platform::ReplaceFileAt(folder, "folder/x", "new");
         ::close(folder);
         return e;
       }, EINVAL, false},
  };
  TempNetwork::WriteFile(target, "old");
  TempNetwork::WriteFile(net.root() + "/folder/inside", "x");
  const auto before = Entries(net.root());
  for (const Case& c : cases) {
    const ReplaceError e = c.replace();
    EXPECT_EQ(e.error, c.error) << c.what;
    EXPECT_EQ(e.writing, c.writing) << c.what;
    EXPECT_EQ(TempNetwork::ReadFile(target), "old") << c.what;
    EXPECT_EQ(Entries(net.root()), before) << c.what;
  }
}

// A FIFO would block a plain open until a writer comes; a device would never end.
TEST(RegularFile, AnythingButARegularFileIsRefusedAtOnce) {
  TempNetwork net;
  const std::string fifo = net.root() + "/fifo", file = net.root() + "/file";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  TempNetwork::WriteFile(file, "text");
  ::alarm(20);  // a regression hangs; end it rather than the whole run
  struct Case {
    std::string path;
    int flags;
    int error;
  } cases[] = {
      {fifo, O_RDONLY, platform::kNotRegularFile}, {fifo, O_RDWR, platform::kNotRegularFile},
      {"/dev/zero", O_RDONLY, platform::kNotRegularFile}, {net.root(), O_RDONLY, platform::kNotRegularFile},
      {net.root() + "/none", O_RDONLY, ENOENT}, {file, O_RDONLY, 0},
  };
  for (const Case& c : cases) {
    errno = 0;
    const int fd = platform::OpenRegularFile(c.path, c.flags);
    EXPECT_EQ(fd < 0 ? errno : 0, c.error) << c.path;
    if (fd >= 0) {
      EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0) << "left non-blocking";
      ::close(fd);
    }
  }
  platform::HostInfo info;
  EXPECT_EQ(platform::ReadHostInfo(fifo, info), DWORD{ERROR_BAD_FORMAT});
  ::alarm(0);
}

TEST(RegularFile, WholeReadsStopAtTheirBound) {
  TempNetwork net;
  const std::string path = net.root() + "/file";
  TempNetwork::WriteFile(path, std::string(100000, 'b'));
  struct Case {
    size_t limit;
    int error;
  } cases[] = {{100000, 0}, {99999, EFBIG}, {0, EFBIG}, {SIZE_MAX, 0}};
  for (const Case& c : cases) {
    std::string out;
    EXPECT_EQ(platform::ReadRegularFile(path, c.limit, out), c.error) << c.limit;
    EXPECT_EQ(out.size(), c.error ? out.size() : 100000u) << c.limit;
  }
}

}  // namespace
