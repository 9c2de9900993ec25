// The message compiler of hostkit: the .mc rules (ids, severities, facilities, languages,
// default names, CR LF lines), its DLLs read back through FormatMessageA, and a cross-check of
// ids and texts against windmc's tables and of the image against objdump where they exist.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/messages/message_dll_writer.h"
#include "platform/messages/message_module.h"
#include "platform/core/text.h"
#include "platform/messages/pe_resources.h"
#include "tests/support/golden.h"
#include "tests/support/temp_network.h"
#include "tests/support/tool_run.h"
#include "tools/hostkit/message_text_file.h"

namespace {

const std::string kHostkit = TALLYARD_BINARY_DIR "/tools/hostkit/hostkit";

// Each file of golden/mc_files.txt is taken with the messages it lists, in file order, or refused
// with the line its error names.
TEST(MessageTextFileTest, GoldenFiles) {
  for (const GoldenCase& c : ReadGolden("tools/golden/mc_files.txt")) {
    SCOPED_TRACE(c.name);
    hostkit::MessageTextFile f;
    std::string error;
    const bool parsed = hostkit::ParseMessageTextFile(c.Get("mc"), f, error);
    EXPECT_EQ(parsed, !c.Has("error")) << error;
    if (!parsed) {
      EXPECT_EQ(error.rfind(c.Get("error"), 0), 0u) << error;
      continue;
    }
    EXPECT_EQ(f.messageIdTypedef, c.Get("typedef"));
    std::vector<std::string> messages;
    for (const auto& l : f.languages)
      for (const auto& m : l.messages) {
        char head[24];
        std::snprintf(head, sizeof head, "%x %x ", unsigned{l.language}, unsigned{m.id});
        messages.push_back(head + m.text);
      }
    EXPECT_EQ(messages, c.All("message"));
  }
}

class MsgDllToolTest : public ::testing::Test {
 protected:
  std::string Mc(const std::string& text) {
    std::string path = net_.root() + "/m.mc";
    TempNetwork::WriteFile(path, text);
    return path;
  }
  TempNetwork net_;
};

const char* kSample =
    "MessageId=1\nLanguage=English\nThe service %1 started.\n.\n"
    "MessageId=\nLanguage=English\nTwo lines,\nsecond: 100%% & caf\xC3\xA9.\n.\n"
    "MessageId=7000\nSeverity=Error\nLanguage=English\nThe %1 service failed to start due to the following error: %n%2\n.\n"
    "MessageId=7036\nLanguage=English\nThe %1 service entered the %2 state.\n.\n";

TEST_F(MsgDllToolTest, DllsReadBackThroughFormatMessage) {
  std::string mc = Mc(kSample);
  // The image kinds themselves are the writer's tests; here each option must reach it.
  for (const char* options : {"", " --ansi --pe32plus"}) {
    SCOPED_TRACE(options);
    std::string dll = net_.root() + "/out.dll";
    ASSERT_EQ(RunTool(kHostkit + " msgdll " + dll + " " + mc + options), 0);
    HMODULE m = LoadLibraryExA(dll.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES | LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(m, nullptr) << GetLastError();
    char buf[256];
    ASSERT_GT(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, m, 2, 0x400, buf, sizeof buf, nullptr), 0u);
    EXPECT_STREQ(buf, "Two lines,\r\nsecond: 100%% & caf\xC3\xA9.\r\n");
    ASSERT_GT(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, m, 0xC0001B58u, 0x400, buf, sizeof buf, nullptr), 0u);
    EXPECT_STREQ(buf, "The %1 service failed to start due to the following error: \r\n%2\r\n");
    FreeLibrary(m);
  }
  std::string output;
  EXPECT_EQ(RunTool(kHostkit + " msgdll " + net_.root() + "/x.dll " + Mc("MessageId=1\nLanguage=English\n"), &output), 1);
  EXPECT_NE(output.find("line "), std::string::npos) << output;
  EXPECT_FALSE(std::filesystem::exists(net_.root() + "/x.dll"));
}

// An entry's length is 16 bits. The longest text that fits is written whole and the entry after
// it is intact; one character more is refused, by the writer and by hostkit msgdll, rather than
// stored with a cut length that corrupts the table.
TEST_F(MsgDllToolTest, TextsLongerThanAnEntryAreRefused) {
  const struct {
    bool ansi;
    size_t longest;  // characters: 4-byte header + text + terminator, padded, within 0xFFFC
    size_t unitBytes;
  } cases[] = {{false, 32763, 2}, {true, 65527, 1}};
  for (const auto& c : cases) {
    for (size_t n : {c.longest, c.longest + 1}) {
      SCOPED_TRACE(std::string(c.ansi ? "ansi " : "unicode ") + std::to_string(n));
      std::vector<uint8_t> dll =
          platform::WriteMessageDll({{0x0409, {{1, std::string(n, 'x')}, {2, "after"}}}}, {c.ansi, false});
      if (n > c.longest) {
        EXPECT_TRUE(dll.empty());
        continue;
      }
      platform::MessageTables tables;
      ASSERT_EQ(platform::ReadMessageTables(dll.data(), dll.size(), tables), 0u);
      ASSERT_EQ(tables.languages.size(), 1u);
      platform::MessageEntry first, second;
      ASSERT_EQ(platform::FindMessageEntry(tables.languages[0].second, 1, first), 0u);
      EXPECT_EQ(first.bytes, n * c.unitBytes);
      ASSERT_EQ(platform::FindMessageEntry(tables.languages[0].second, 2, second), 0u);
      EXPECT_EQ(second.bytes, 5 * c.unitBytes);
    }
  }
  std::string dll = net_.root() + "/long.dll";
  std::string output;
  std::string mc = Mc("MessageId=1\nLanguage=English\n" + std::string(33000, 'x') + "\n.\n");
  EXPECT_EQ(RunTool(kHostkit + " msgdll " + dll + " " + mc, &output), 1);
  EXPECT_NE(output.find("message 0x00000001 is too long"), std::string::npos) << output;
  EXPECT_FALSE(std::filesystem::exists(dll));
  EXPECT_EQ(RunTool(kHostkit + " msgdll " + dll + " " + mc + " --ansi", &output), 0) << output;
  EXPECT_TRUE(std::filesystem::exists(dll));
}

// The DLL is written whole or not at all: a write cut short (here by a file size limit, as a
// full disk would) fails the run and leaves neither the DLL nor a temporary, and a link planted
// under the old temporary's name leads nowhere.
TEST_F(MsgDllToolTest, TheDllIsWholeOrAbsent) {
  std::string dir = net_.root() + "/out";
  std::filesystem::create_directories(dir);
  std::string mc = Mc("MessageId=1\nLanguage=English\n" + std::string(3000, 'x') + "\n.\n");
  std::string dll = dir + "/big.dll";
  std::string output;
  // Ignored, SIGXFSZ stays ignored in hostkit and the write answers EFBIG instead.
  EXPECT_EQ(RunTool("trap '' XFSZ; ulimit -f 2; exec " + kHostkit + " msgdll " + dll + " " + mc, &output), 1)
      << output;
  EXPECT_NE(output.find("cannot write"), std::string::npos) << output;
  EXPECT_TRUE(std::filesystem::is_empty(dir));

  std::string victim = net_.root() + "/victim";
  TempNetwork::WriteFile(victim, "untouched");
  dll = net_.root() + "/linked.dll";
  std::filesystem::create_symlink(victim, dll + ".tmp");
  ASSERT_EQ(RunTool(kHostkit + " msgdll " + dll + " " + mc, &output), 0) << output;
  EXPECT_EQ(TempNetwork::ReadFile(victim), "untouched");
  EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(dll)));
  HMODULE m = LoadLibraryExA(dll.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES | LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(m, nullptr) << GetLastError();
  FreeLibrary(m);
  EXPECT_EQ(RunTool(kHostkit + " msgdll " + net_.root() + "/nosuch/x.dll " + mc, &output), 1);
  EXPECT_NE(output.find("cannot write"), std::string::npos) << output;
  EXPECT_FALSE(std::filesystem::exists(net_.root() + "/nosuch"));
}

// windmc (binutils) compiles the same file; its raw tables must hold the same ids and, after
// FormatMessage's line-end rule, the same texts. objdump must accept our images.
TEST_F(MsgDllToolTest, AgreesWithBinutils) {
  if (!HaveTool("x86_64-w64-mingw32-windmc") || !HaveTool("i686-w64-mingw32-objdump"))
    GTEST_SKIP() << "binutils-mingw-w64 not installed";
  std::string mc = Mc(kSample);
  std::string dir = net_.root() + "/windmc";
  std::filesystem::create_directories(dir);
  ASSERT_EQ(RunTool("cd " + dir + " && x86_64-w64-mingw32-windmc -C 65001 " + mc), 0);
  std::string bin = TempNetwork::ReadFile(dir + "/MSG00001.bin");
  ASSERT_FALSE(bin.empty());
  std::vector<uint8_t> theirs(bin.begin(), bin.end());
  std::string dll = net_.root() + "/ours.dll";
  ASSERT_EQ(RunTool(kHostkit + " msgdll " + dll + " " + mc), 0);
  std::string ours = TempNetwork::ReadFile(dll);
  platform::MessageTables tables;
  ASSERT_EQ(platform::ReadMessageTables(reinterpret_cast<const uint8_t*>(ours.data()), ours.size(), tables), 0u);
  ASSERT_EQ(tables.languages.size(), 1u);
  EXPECT_EQ(tables.languages[0].first, 0x0409);
  for (DWORD id : {1u, 2u, 0xC0001B58u, 3u, 7000u, 7036u, 0xC0001B7Cu}) {
    platform::MessageEntry a, b;
    DWORD ra = platform::FindMessageEntry(theirs, id, a), rb = platform::FindMessageEntry(tables.languages[0].second, id, b);
    ASSERT_EQ(ra, rb) << id;
    if (ra != 0) continue;
    std::string ta, tb;
    platform::ExpandMessageText(platform::Utf16LeToUtf8(a.text, a.bytes), FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ta);
    platform::ExpandMessageText(platform::Utf16LeToUtf8(b.text, b.bytes), FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, tb);
    EXPECT_EQ(ta, tb) << id;
  }
  for (const char* options : {"", " --pe32plus"}) {
    ASSERT_EQ(RunTool(kHostkit + " msgdll " + dll + " " + mc + options), 0);
    std::string out;
    EXPECT_EQ(RunTool("x86_64-w64-mingw32-objdump -p " + dll, &out), 0);
    EXPECT_NE(out.find("Entry: ID: 0x00000b"), std::string::npos) << out;
    EXPECT_NE(out.find("Entry: ID: 0x000409"), std::string::npos);
  }
}

}  // namespace
