// Hive files: our empty hive and our commits against independent readers, bad hives, and two
// processes changing one hive at once.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>

#include "platform/registry/hive_format.h"
#include "tests/platform/registry/registry_support.h"

using namespace platform;

namespace {

class HiveFileTest : public ::testing::Test {
 protected:
  TempNetwork net;
  std::string file = net.root() + "/HIVE";
  void SetUp() override { ASSERT_EQ(CreateHiveFile(file, 0600), 0u); }
};

DWORD SetIn(const std::string& file, const std::vector<std::string>& path, const std::string& name,
            const RegistryValue& v) {
  return ChangeHive(file, [&](Hive& h) {
    HiveNode n = 0;
    if (DWORD rc = h.CreatePath(path, n)) return rc;
    return h.SetValue(n, name, v);
  });
}

DWORD GetIn(const std::string& file, const std::vector<std::string>& path, const std::string& name, RegistryValue& v) {
  return ReadHive(file, [&](const Hive& h) {
    HiveNode n = 0;
    if (DWORD rc = h.Walk(path, n)) return rc;
    return h.GetValue(n, name, v);
  });
}

TEST_F(HiveFileTest, ValuesOfEveryTypeReadBackInTheIndependentReaders) {
  std::string big(20000, 'x');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  struct Case {
    std::string name;
    RegistryValue value;
    std::string regf;   // what regfexport shows
    std::string hivex;  // what hivexregedit shows
  } cases[] = {
      {"Text", StringValue(REG_SZ, "Zo\xC3\xAB"), "Data: Zo\xC3\xAB", "\"Text\"=str(1):\"Zo"},
      {"Expand", StringValue(REG_EXPAND_SZ, "%SystemRoot%\\x"), "Data: %SystemRoot%\\x", "\"Expand\"=str(2):\"%SystemRoot%\\x\""},
      {"Multi", StringValue(REG_MULTI_SZ, std::string("a\0bc\0", 5)), "REG_MULTI_SZ", "\"Multi\"=hex(7):61,00,00,00,62,00,63,00,00,00,00,00"},
      {"Count", DwordValue(180), "Data: 180", "\"Count\"=dword:000000b4"},
      {"Bytes", RegistryValue{REG_BINARY, std::string("\x01\x02\xff", 3)}, "REG_BINARY", "\"Bytes\"=hex(3):01,02,ff"},
      {"Rid", RegistryValue{0x1F4, ""}, "0x000001f4", "\"Rid\"=hex(1f4):"},
      {"Big", RegistryValue{REG_BINARY, big}, "Data size: 20000", "\"Big\"=hex(3):00,07,0e"},
  };
  // Our empty hive first, as both readers take it.
  const std::string empty = TempNetwork::ReadFile(file);
  ASSERT_EQ(empty.size(), 8192u);
  EXPECT_EQ(HiveHeaderChecksum(reinterpret_cast<const unsigned char*>(empty.data())),
            LoadLe32(reinterpret_cast<const unsigned char*>(empty.data()) + 508));
  const bool tools = HaveTool("regfexport") && HaveTool("hivexregedit");
  std::string regf, hivex;
  if (tools) {
    EXPECT_EQ(RunTool("regfexport '" + file + "'", &regf), 0) << regf;
    EXPECT_NE(regf.find("$$$PROTO.HIV"), std::string::npos) << regf;
    EXPECT_EQ(RunTool("hivexregedit --export '" + file + "' '\\'", &hivex), 0) << hivex;
  }
  for (const auto& c : cases) ASSERT_EQ(SetIn(file, {"Top", "Inner"}, c.name, c.value), 0u) << c.name;
  EXPECT_EQ(CheckHiveFile(file), 0u);
  for (const auto& c : cases) {
    RegistryValue back;
    ASSERT_EQ(GetIn(file, {"top", "INNER"}, c.name, back), 0u) << c.name;
    EXPECT_EQ(back.type, c.value.type) << c.name;
    EXPECT_EQ(back.data, c.value.data) << c.name;
  }
  if (!tools) GTEST_SKIP() << "libregf-utils or libhivex-bin missing";
  ASSERT_EQ(RunTool("regfexport '" + file + "'", &regf), 0) << regf;
  ASSERT_EQ(RunTool("hivexregedit --export --unsafe-printable-strings '" + file + "' '\\Top'", &hivex), 0) << hivex;
  for (const auto& c : cases) {
    EXPECT_NE(regf.find(c.regf), std::string::npos) << c.name;
    EXPECT_NE(hivex.find(c.hivex), std::string::npos) << c.name;
  }
}

TEST_F(HiveFileTest, KeyNameOf255CharactersIsTheLongestAccepted) {
  const std::string longest(255, 'k'), tooLong(256, 'k');
  EXPECT_EQ(ChangeHive(file, [&](Hive& h) { HiveNode n = 0; return h.AddChild(h.Root(), longest, n); }), 0u);
  const std::string before = TempNetwork::ReadFile(file);
  EXPECT_EQ(ChangeHive(file, [&](Hive& h) { HiveNode n = 0; return h.AddChild(h.Root(), tooLong, n); }),
            DWORD{ERROR_INVALID_PARAMETER});
  EXPECT_EQ(ChangeHive(file, [&](Hive& h) { HiveNode n = 0; return h.AddChild(h.Root(), "a\\b", n); }),
            DWORD{ERROR_INVALID_PARAMETER});
  EXPECT_EQ(TempNetwork::ReadFile(file), before);
  EXPECT_EQ(ReadHive(file, [&](const Hive& h) { HiveNode n = 0; return h.Walk({longest}, n); }), 0u);
}

TEST_F(HiveFileTest, FailedChangesLeaveTheFileAsItWas) {
  ASSERT_EQ(SetIn(file, {"K"}, "V", DwordValue(1)), 0u);
  const std::string before = TempNetwork::ReadFile(file);
  // A change that answers an error is not committed, whatever it did first.
  EXPECT_EQ(ChangeHive(file, [](Hive& h) {
              HiveNode n = 0;
              h.AddChild(h.Root(), "Half", n);
              return DWORD{ERROR_INVALID_DATA};
            }), DWORD{ERROR_INVALID_DATA});
  EXPECT_EQ(TempNetwork::ReadFile(file), before);
  // A commit that fails on the way to the disk leaves neither a changed hive nor a stray file.
  platform::testing::FailHiveCommit(1);
  EXPECT_EQ(SetIn(file, {"K"}, "V", DwordValue(2)), DWORD{ERROR_WRITE_FAULT});
  EXPECT_EQ(TempNetwork::ReadFile(file), before);
  for (const auto& e : std::filesystem::directory_iterator(net.root())) {
    const std::string name = e.path().filename().string();
    EXPECT_TRUE(name.rfind("HIVE", 0) != 0 || name == "HIVE" || name == "HIVE.lock") << "stray " << name;
  }
  // Setting what is already there does not rewrite the file.
  EXPECT_EQ(SetIn(file, {"K"}, "V", DwordValue(1)), 0u);
  EXPECT_EQ(TempNetwork::ReadFile(file), before);
}

// An image may hold a link under any name beside a hive; writing a hive never writes through one.
TEST_F(HiveFileTest, LinksPlantedBesideTheHiveAreNeverWrittenThrough) {
  const std::string outside = net.root() + "/outside/bashrc";
  std::filesystem::create_directories(net.root() + "/outside");
  TempNetwork::WriteFile(outside, "keep me");
  std::filesystem::create_directories(net.root() + "/img");
  const std::string fresh = net.root() + "/img/NEW";
  for (const std::string& hive : {file, fresh})
    for (const char* suffix : {".tmp", ".tmp.fresh"})
      std::filesystem::create_symlink(outside, hive + suffix);
  struct Case {
    const char* what;
    std::function<DWORD()> write;
  } cases[] = {
      {"change", [&] { return SetIn(file, {"K"}, "V", StringValue(REG_SZ, std::string(9000, 'v'))); }},
      {"create", [&] { return CreateHiveFile(fresh, 0600); }},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.write(), 0u) << c.what;
    EXPECT_EQ(TempNetwork::ReadFile(outside), "keep me") << c.what;
  }
  EXPECT_EQ(CheckHiveFile(file), 0u);
  EXPECT_EQ(CheckHiveFile(fresh), 0u);
  for (const std::string& hive : {file, fresh})
    EXPECT_TRUE(std::filesystem::is_symlink(hive + ".tmp")) << hive;
}

// A FIFO under a hive's name would block a plain open for ever; it is no hive.
TEST_F(HiveFileTest, FifoInPlaceOfAHiveIsRefusedAtOnce) {
  const std::string fifo = net.root() + "/FIFO";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ::alarm(20);  // a regression hangs; end it rather than the whole run
  EXPECT_EQ(ReadHive(fifo, [](const Hive&) { return DWORD{0}; }), DWORD{ERROR_BADDB});
  EXPECT_EQ(ChangeHive(fifo, [](Hive&) { return DWORD{0}; }), DWORD{ERROR_BADDB});
  EXPECT_EQ(CheckHiveFile(fifo), DWORD{ERROR_BADDB});
  ::alarm(0);
}

// hivex starts a new bin for every change; our hives are rebuilt before that adds up.
TEST_F(HiveFileTest, OftenChangedHiveStaysSmall) {
  for (int i = 0; i < 60; ++i) {
    ASSERT_EQ(SetIn(file, {"Settings"}, "Count", DwordValue(static_cast<DWORD>(i))), 0u);
    ASSERT_EQ(SetIn(file, {"Settings", "Sub"}, "Name", StringValue(REG_SZ, std::string(10 + i % 5, 'n'))), 0u);
  }
  EXPECT_LT(std::filesystem::file_size(file), 80u * 1024);
  EXPECT_EQ(CheckHiveFile(file), 0u);
  RegistryValue v;
  ASSERT_EQ(GetIn(file, {"Settings"}, "Count", v), 0u);
  EXPECT_EQ(v.data, DwordValue(59).data);
  struct stat st;
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// hivex copies a key's whole subkey list for each subkey it adds: a commit must leave a file
// near its live data, for our own hives and for a real one (its many security cells and class
// names kept), and a later one-value change must add to that file, not rewrite it.
TEST_F(HiveFileTest, ManySubkeysUnderOneKeyKeepTheHiveNearItsData) {
  constexpr int kSubkeys = 600;
  const std::string realSam = TALLYARD_SOURCE_DIR "/../shared/fixtures/real/SAM";
  for (const std::string& source : {std::string(), realSam}) {
    SCOPED_TRACE(source.empty() ? "our own hive" : source);
    if (!source.empty()) {
      if (!std::filesystem::exists(source)) GTEST_SKIP() << "the real SAM fixture is missing";
      std::filesystem::remove(file);
      std::filesystem::copy_file(source, file);
      std::filesystem::permissions(file, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    }
    const size_t base = std::filesystem::file_size(file);
    ASSERT_EQ(ChangeHive(file, [&](Hive& h) {
      for (int i = 0; i < kSubkeys; ++i) {
        HiveNode n = 0;
        if (DWORD rc = h.CreatePath({"Classes", "Key" + std::to_string(i)}, n)) return rc;
        if (DWORD rc = h.SetValue(n, "", StringValue(REG_SZ, "class " + std::to_string(i)))) return rc;
      }
      return DWORD{ERROR_SUCCESS};
    }), 0u);
    const std::string before = TempNetwork::ReadFile(file);
    // A subkey with its value is some 200 bytes; the copied lists would be megabytes.
    EXPECT_LT(before.size(), base + kSubkeys * 512);
    ASSERT_EQ(SetIn(file, {"Classes", "Key7"}, "Count", DwordValue(7)), 0u);
    const std::string after = TempNetwork::ReadFile(file);
    ASSERT_GE(after.size(), before.size());
    EXPECT_LE(after.size(), before.size() + 8192);
    size_t changed = 0;
    for (size_t i = 0; i < before.size(); ++i) changed += before[i] != after[i];
    EXPECT_LT(changed, 100u);
    EXPECT_EQ(CheckHiveFile(file), 0u);
    RegistryValue v;
    ASSERT_EQ(GetIn(file, {"Classes", "Key599"}, "", v), 0u);
    EXPECT_EQ(v.data, StringValue(REG_SZ, "class 599").data);
  }
}

// Bad hives, some broken where hivex does not look when it opens them: each gets a clear code
// from a read, and a write elsewhere in the hive is refused, never reported as done, with the
// bytes left alone.
TEST_F(HiveFileTest, BadHivesAnswerClearCodesAndStayUntouched) {
  ASSERT_EQ(SetIn(file, {"A", "B"}, "V", DwordValue(7)), 0u);
  const std::string good = TempNetwork::ReadFile(file);
  HiveNode rootNode = 0, bNode = 0;
  ASSERT_EQ(ReadHive(file, [&](const Hive& h) {
              rootNode = h.Root();
              return h.Walk({"A", "B"}, bNode);
            }), 0u);
  auto patch32 = [](std::string s, size_t at, uint32_t v) {
    StoreLe32(reinterpret_cast<unsigned char*>(s.data()) + at, v);
    return s;
  };
  auto load32 = [&](size_t at) { return LoadLe32(reinterpret_cast<const unsigned char*>(good.data()) + at); };
  const size_t b = bNode + 4;  // B's key cell, after the cell's size
  // B's subkey list made to be the root's list (which holds A): A -> B -> A -> ...
  std::string cycle = patch32(patch32(good, b + 28, load32(rootNode + 4 + 28)), b + 20, 1);
  std::string longer = patch32(good, 40, load32(40) + (64u << 20));  // bins claimed past the file's end
  longer = patch32(longer, 508, HiveHeaderChecksum(reinterpret_cast<const unsigned char*>(longer.data())));
  struct Case {
    const char* what;
    std::string bytes;
    DWORD readCode;   // from CheckHiveFile
  } cases[] = {
      {"empty file", "", ERROR_BADDB},
      {"base block only", good.substr(0, 4096), ERROR_BADDB},
      {"cut inside the bin", good.substr(0, 6000), ERROR_BADDB},
      {"bad checksum", patch32(good, 508, load32(508) ^ 0x10), ERROR_BADDB},
      {"not a hive", std::string(8192, 'x'), ERROR_BADDB},
      {"bin offset wrong", patch32(good, 0x1000 + 4, 0x2000), ERROR_BADDB},
      {"bins claimed past the end of the file", longer, ERROR_BADDB},
      {"cycle in the key lists", cycle, ERROR_REGISTRY_CORRUPT},
      {"a subkey list that points nowhere", patch32(patch32(good, b + 20, 1), b + 28, 0x7FFFF000), ERROR_REGISTRY_CORRUPT},
      {"a value list that points nowhere", patch32(patch32(good, b + 36, 3), b + 40, 0xFF8), ERROR_REGISTRY_CORRUPT},
  };
  for (const auto& c : cases) {
    const std::string bad = net.root() + "/bad";
    TempNetwork::WriteFile(bad, c.bytes);
    EXPECT_EQ(CheckHiveFile(bad), c.readCode) << c.what;
    EXPECT_EQ(SetIn(bad, {"Other", "New"}, "W", DwordValue(1)), c.readCode) << c.what;
    EXPECT_TRUE(TempNetwork::ReadFile(bad) == c.bytes) << c.what << ": the damaged hive was replaced";
  }
}

// Two processes add values to one hive at the same moment: every value arrives, and every read
// of the file meanwhile finds a whole hive.
TEST_F(HiveFileTest, TwoProcessesChangingOneHiveLoseNothingAndNeverShowAShortFile) {
  constexpr int kEach = 25;
  pid_t children[2];
  for (int p = 0; p < 2; ++p) {
    children[p] = ::fork();
    ASSERT_GE(children[p], 0);
    if (children[p] == 0) {
      int bad = 0;
      for (int i = 0; i < kEach; ++i)
        bad += SetIn(file, {"Shared"}, std::string(1, static_cast<char>('A' + p)) + std::to_string(i),
                     RegistryValue{REG_BINARY, std::string(1500, 'g')}) != 0;
      ::_exit(bad);
    }
  }
  int reads = 0, torn = 0, status = 0;
  for (pid_t c : children) {
    while (::waitpid(c, &status, WNOHANG) == 0) {
      const std::string bytes = TempNetwork::ReadFile(file);
      const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
      ++reads;
      torn += bytes.size() < 8192 || bytes.compare(0, 4, "regf") != 0 || HiveHeaderChecksum(b) != LoadLe32(b + 508) ||
              bytes.size() != 4096 + LoadLe32(b + 40);
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_GT(reads, 0);
  EXPECT_EQ(torn, 0);
  std::vector<std::string> names;
  ASSERT_EQ(ReadHive(file, [&](const Hive& h) {
              HiveNode n = 0;
              if (DWORD rc = h.Walk({"Shared"}, n)) return rc;
              return h.ValueNames(n, names);
            }), 0u);
  EXPECT_EQ(names.size(), 2u * kEach);
  EXPECT_EQ(CheckHiveFile(file), 0u);
}

TEST(HiveText, Utf16RoundTripKeepsNulsAndReplacesBadBytes) {
  const std::string text("a\0\xC3\xA9\xF0\x9F\x98\x80", 8);
  EXPECT_EQ(Utf16LeToUtf8(Utf8ToUtf16Le(text)), text);
  EXPECT_EQ(Utf8ToUtf16Le("\xC3"), std::string("\xFD\xFF", 2));         // cut sequence
  EXPECT_EQ(Utf16LeToUtf8(std::string("\x00\xD8", 2)), "\xEF\xBF\xBD");  // lone surrogate
}

}  // namespace
