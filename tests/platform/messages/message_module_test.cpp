// Message modules: the PE reader on our own and on real DLLs, FormatMessageA's escapes and
// language search, the module cache, and every failure code the callers rely on.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/messages/message_dll_writer.h"
#include "platform/messages/message_module.h"
#include "platform/messages/pe_layout.h"
#include "platform/messages/pe_resources.h"
#include "tests/platform/registry/registry_support.h"
#include "tests/support/golden.h"

namespace {

using platform::MessageDllLanguage;
using platform::MessageDllOptions;

const std::string kReal = TALLYARD_SOURCE_DIR "/../shared/fixtures/real";

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  TempNetwork::WriteFile(path, std::string(bytes.begin(), bytes.end()));
}

constexpr DWORD kAsData = DONT_RESOLVE_DLL_REFERENCES | LOAD_LIBRARY_AS_DATAFILE;

std::string Err(DWORD code) { return "ERR " + std::to_string(code); }

// FormatMessageA into an allocated buffer; returns the text or Err(code).
std::string Format(HMODULE module, DWORD id, DWORD language = 0x0400,
                   DWORD flags = FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS) {
  char* text = nullptr;
  SetLastError(kUnsetError);
  DWORD n = FormatMessageA(flags | FORMAT_MESSAGE_ALLOCATE_BUFFER, module, id, language,
                           reinterpret_cast<LPSTR>(&text), 0, nullptr);
  if (n == 0) {
    EXPECT_EQ(text, nullptr);
    return Err(GetLastError());
  }
  std::string out(text, n);
  EXPECT_EQ(LocalFree(text), nullptr);
  return out;
}

class MessageModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::ClearModuleCache();
    platform::SetModuleCacheEnabled(true);
    platform::SetDefaultLanguage(0x0409);
    handlesBefore_ = platform::LiveHandleCount();
  }
  void TearDown() override { EXPECT_EQ(platform::LiveHandleCount(), handlesBefore_); }

  std::string Dll(const std::string& name, const std::vector<MessageDllLanguage>& langs,
                  const MessageDllOptions& options = {}) {
    std::string path = net_.root() + "/" + name;
    WriteBytes(path, platform::WriteMessageDll(langs, options));
    return path;
  }

  TempNetwork net_;
  size_t handlesBefore_ = 0;
};

TEST(MessageTextTest, GoldenEscapes) {
  const char* a = "A";
  const char* b = "B";
  for (const GoldenCase& c : ReadGolden("platform/messages/golden/escapes.txt")) {
    SCOPED_TRACE(c.name);
    std::string out;
    // Two arguments only: insert 10 reads past them, so give it a guard of nulls.
    DWORD_PTR guarded[16] = {reinterpret_cast<DWORD_PTR>(a), reinterpret_cast<DWORD_PTR>(b)};
    DWORD rc = platform::ExpandMessageText(c.Get("text"), FORMAT_MESSAGE_ARGUMENT_ARRAY, guarded, out);
    if (c.Get("normal") == "ERR") {
      EXPECT_NE(rc, 0u);
    } else {
      EXPECT_EQ(rc, 0u);
      EXPECT_EQ(out, c.Get("normal"));
    }
    EXPECT_EQ(platform::ExpandMessageText(c.Get("text"), FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, out), 0u);
    EXPECT_EQ(out, c.Get("ignoring"));
  }
}

TEST(MessageTextTest, FailuresAndEmptyResults) {
  std::string out;
  EXPECT_EQ(platform::ExpandMessageText("ends with %", FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, out),
            static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(platform::ExpandMessageText("", FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, out),
            static_cast<DWORD>(ERROR_NO_WORK_DONE));
  EXPECT_EQ(platform::ExpandMessageText("%0text", 0, nullptr, out), static_cast<DWORD>(ERROR_NO_WORK_DONE));
  // An insert with no arguments at all is a bad call, not a crash.
  EXPECT_EQ(platform::ExpandMessageText("x %1", 0, nullptr, out), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  // A width limit turns the text's own line ends into blanks; %n still breaks.
  EXPECT_EQ(platform::ExpandMessageText("a\r\nb%nc", FORMAT_MESSAGE_MAX_WIDTH_MASK, nullptr, out), 0u);
  EXPECT_EQ(out, "a b\r\nc");
}

TEST(MessageTextTest, NumericInsertFormats) {
  const char* text = "abc";
  DWORD_PTR args[] = {42, 255, 7, static_cast<DWORD_PTR>(-3), reinterpret_cast<DWORD_PTR>(text)};
  std::string out;
  for (const GoldenCase& c : ReadGolden("platform/messages/golden/formats.txt")) {
    ASSERT_EQ(platform::ExpandMessageText(c.Get("format"), FORMAT_MESSAGE_ARGUMENT_ARRAY, args, out), 0u) << c.name;
    EXPECT_EQ(out, c.Get("out")) << c.name;
  }
  // Wide fields come out whole, however long.
  const std::pair<const char*, std::string> wide[] = {{"%1!200d!", std::string(198, ' ') + "42"},
                                                       {"%2!-150X!|", "FF" + std::string(148, ' ') + "|"},
                                                       {"%5!310s!", std::string(307, ' ') + "abc"}};
  for (const auto& [format, expected] : wide) {
    ASSERT_EQ(platform::ExpandMessageText(format, FORMAT_MESSAGE_ARGUMENT_ARRAY, args, out), 0u);
    EXPECT_EQ(out, expected);
  }
  EXPECT_EQ(platform::ExpandMessageText("%1!n!", FORMAT_MESSAGE_ARGUMENT_ARRAY, args, out),
            static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(MessageModuleTest, BothImageKindsAndBothEntryKindsRoundTrip) {
  std::vector<MessageDllLanguage> langs = {
      {0x0409,
       {{1, "One\r\n"}, {2, "Two %1\r\n"}, {7, "Seven"}, {0xC0001001u, "Größe € 100%%\r\n"},
        {0x40000010u, "sixteen"}}}};
  for (bool ansi : {false, true}) {
    for (bool plus : {false, true}) {
      SCOPED_TRACE(std::string(ansi ? "ansi" : "unicode") + (plus ? " pe32+" : " pe32"));
      std::string path = Dll(std::string("m") + (ansi ? "a" : "u") + (plus ? "64" : "32") + ".dll", langs,
                             {ansi, plus});
      HMODULE m = LoadLibraryExA(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES | LOAD_LIBRARY_AS_DATAFILE);
      ASSERT_NE(m, nullptr) << GetLastError();
      for (const auto& [id, text] : langs[0].messages) EXPECT_EQ(Format(m, id), text) << id;
      for (DWORD id : {16u, 3u, 8u}) EXPECT_EQ(Format(m, id), Err(ERROR_MR_MID_NOT_FOUND)) << id;  // low word alone; gaps
      EXPECT_TRUE(FreeLibrary(m));
    }
  }
}

TEST_F(MessageModuleTest, LanguageSearchOrder) {
  platform::SetDefaultLanguage(0x0407);
  int n = 0;
  for (const GoldenCase& c : ReadGolden("platform/messages/golden/languages.txt")) {
    SCOPED_TRACE(c.name);
    std::vector<MessageDllLanguage> langs;
    std::istringstream present(c.Get("present"));
    for (std::string l; present >> l;) langs.push_back({static_cast<WORD>(std::stoul(l, nullptr, 16)), {{5, l.substr(2)}}});
    HMODULE m = LoadLibraryExA(Dll("lang" + std::to_string(n++) + ".dll", langs).c_str(), nullptr, kAsData);
    ASSERT_NE(m, nullptr);
    const std::string text = c.Get("text");
    EXPECT_EQ(Format(m, 5, static_cast<DWORD>(c.Number("requested"))),
              text == "none" ? Err(ERROR_RESOURCE_LANG_NOT_FOUND) : text);
    FreeLibrary(m);
  }
}

TEST_F(MessageModuleTest, TheLocalImageNamesTheDefaultLanguage) {
  std::string dll = Dll("de.dll", {{0x0407, {{5, "deutsch"}}}, {0x0409, {{5, "english"}}}, {0x040C, {{5, "francais"}}}});
  platform::SetDefaultLanguage(0);
  // No image of this computer yet: US English.
  HMODULE m = LoadLibraryExA(dll.c_str(), nullptr, kAsData);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(Format(m, 5), "english");
  FreeLibrary(m);
  // ADMINPC's own SYSTEM hive says French; a new network folder is read afresh.
  TempNetwork other;
  AddImageWithHives(other, "ADMINPC");
  platform::ComputerImage local;
  ASSERT_EQ(platform::FindComputer("ADMINPC", local), 0u);
  ASSERT_EQ(platform::WriteImageValue(local, "SYSTEM\\Select", "Current", platform::DwordValue(1), true), 0u);
  ASSERT_EQ(platform::WriteImageValue(local, "SYSTEM\\ControlSet001\\Control\\Nls\\Language", "Default",
                                      platform::StringValue(REG_SZ, "040c"), true),
            0u);
  m = LoadLibraryExA(dll.c_str(), nullptr, kAsData);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(Format(m, 5), "francais");
  EXPECT_EQ(Format(m, 5, 0x0407), "deutsch");  // a specific language is not overridden
  FreeLibrary(m);
  platform::SetDefaultLanguage(0x0409);
}

TEST_F(MessageModuleTest, LoadFailuresAnswerWindowsCodes) {
  std::string good = Dll("good.dll", {{0x0409, {{1, "x"}}}});
  TempNetwork::WriteFile(net_.root() + "/text.dll", "MZ this is not an image at all, just words........................");
  TempNetwork::WriteFile(net_.root() + "/empty.dll", "");
  std::filesystem::create_directories(net_.root() + "/folder.dll");
  net_.AddComputer("SRV1");
  struct Case {
    std::string path;
    DWORD flags;
    DWORD error;
  };
  const Case cases[] = {
      {good, 0, ERROR_NOT_SUPPORTED},  // would have to run the DLL
      {net_.root() + "/missing.dll", kAsData, ERROR_FILE_NOT_FOUND},
      {net_.root() + "/text.dll", kAsData, platform::ERROR_BAD_EXE_FORMAT},
      {net_.root() + "/empty.dll", kAsData, platform::ERROR_BAD_EXE_FORMAT},
      {net_.root() + "/folder.dll", kAsData, ERROR_ACCESS_DENIED},
      {"", kAsData, ERROR_PATH_NOT_FOUND},
      {"\\\\NOSUCH\\C$\\x.dll", kAsData, ERROR_BAD_NETPATH},
      {"\\\\SRV1\\C$\\..\\..\\good.dll", kAsData, ERROR_ACCESS_DENIED},  // never outside the image
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    SetLastError(kUnsetError);
    EXPECT_EQ(LoadLibraryExA(c.path.c_str(), nullptr, c.flags), nullptr);
    EXPECT_EQ(GetLastError(), c.error);
  }
  SetLastError(kUnsetError);
  EXPECT_FALSE(FreeLibrary(nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  HMODULE m = LoadLibraryExA(good.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(m, nullptr);
  EXPECT_TRUE(FreeLibrary(m));
  EXPECT_FALSE(FreeLibrary(m));  // stale
  EXPECT_EQ(Format(m, 1), Err(ERROR_INVALID_HANDLE));
}

// A FIFO put in a module's place answers at once instead of waiting for a writer.
TEST_F(MessageModuleTest, AFifoAnswersAtOnce) {
  std::string fifo = net_.AddComputer("SRV1") + "/C/pipe.dll";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ::alarm(20);  // a regression hangs; end it rather than the whole run
  for (const std::string& path : {std::string("\\\\SRV1\\C$\\pipe.dll"), fifo}) {
    SetLastError(kUnsetError);
    EXPECT_EQ(LoadLibraryExA(path.c_str(), nullptr, kAsData), nullptr) << path;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << path;
  }
  ::alarm(0);
}

// A module inside an image loads through its share, names matched without case; a path that
// loaded before is looked at afresh each time.
TEST_F(MessageModuleTest, ModulesLoadThroughTheShareAndReusedPathsAreCheckedAgain) {
  std::string srv = net_.AddComputer("SRV1");
  std::string file = srv + "/C/WinNT/System32/NetMsg.DLL";
  WriteBytes(file, platform::WriteMessageDll({{0x0409, {{2, "share\r\n"}}}}));
  const char* path = "\\\\srv1\\C$\\WINNT\\system32\\netmsg.dll";
  HMODULE m = LoadLibraryExA(path, nullptr, kAsData);
  ASSERT_NE(m, nullptr) << GetLastError();
  EXPECT_EQ(Format(m, 2), "share\r\n");
  FreeLibrary(m);
  // The file replaced by a link that leads out of the image: refused, not served from before.
  std::filesystem::remove(file);
  WriteBytes(net_.root() + "/outside.dll", platform::WriteMessageDll({{0x0409, {{2, "outside"}}}}));
  std::filesystem::create_symlink(net_.root() + "/outside.dll", file);
  SetLastError(kUnsetError);
  EXPECT_EQ(LoadLibraryExA(path, nullptr, kAsData), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  std::filesystem::remove(file);
  WriteBytes(file, platform::WriteMessageDll({{0x0409, {{2, "again"}}}}));
  m = LoadLibraryExA(path, nullptr, kAsData);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(Format(m, 2), "again");
  FreeLibrary(m);
  // The computer switched off: its files are out of reach at once.
  platform::HostInfo off;
  off.online = false;
  ASSERT_EQ(platform::WriteHostInfo(srv + "/host.ini", off), 0u);
  SetLastError(kUnsetError);
  EXPECT_EQ(LoadLibraryExA(path, nullptr, kAsData), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_NETPATH));
}

TEST_F(MessageModuleTest, BufferSizesAndSystemTexts) {
  std::string path = Dll("b.dll", {{0x0409, {{1, "abc"}, {9, "%0"}}}});
  HMODULE m = LoadLibraryExA(path.c_str(), nullptr, kAsData);
  ASSERT_NE(m, nullptr);
  char buf[4];
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, m, 1, 0x400, buf, 4, nullptr), 3u);
  EXPECT_STREQ(buf, "abc");
  SetLastError(kUnsetError);
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, m, 1, 0x400, buf, 3, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(Format(m, 9), Err(ERROR_NO_WORK_DONE));
  // The module first, then the system table.
  EXPECT_EQ(Format(m, 5, 0x400, FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM), "Access is denied.\r\n");
  EXPECT_EQ(Format(m, 1, 0x400, FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM), "abc");
  FreeLibrary(m);
  EXPECT_EQ(Format(nullptr, 2, 0x400, FORMAT_MESSAGE_FROM_SYSTEM), "The system cannot find the file specified.\r\n");
  EXPECT_EQ(Format(nullptr, 0x7777, 0x400, FORMAT_MESSAGE_FROM_SYSTEM), Err(ERROR_MR_MID_NOT_FOUND));
  EXPECT_EQ(Format(nullptr, 1, 0x400, FORMAT_MESSAGE_FROM_HMODULE), Err(ERROR_RESOURCE_TYPE_NOT_FOUND));
  // A format of the caller's own, with an argument array.
  const char* who = "Alerter";
  DWORD_PTR args[] = {reinterpret_cast<DWORD_PTR>(who), 1058};
  char out[64];
  ASSERT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, "%1 failed: %2!u!%n", 0, 0, out,
                           sizeof out, reinterpret_cast<va_list*>(args)),
            22u);
  EXPECT_STREQ(out, "Alerter failed: 1058\r\n");
}

TEST_F(MessageModuleTest, CacheKeepsOneParseAndSeesChangedFiles) {
  std::string path = Dll("c.dll", {{0x0409, {{1, "first"}}}});
  for (int i = 0; i < 5; ++i) {
    HMODULE m = LoadLibraryExA(path.c_str(), nullptr, kAsData);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(Format(m, 1), "first");
    FreeLibrary(m);
  }
  EXPECT_EQ(platform::CachedModuleCount(), 1u);
  // A rewritten file is another file, even within the same second.
  WriteBytes(path, platform::WriteMessageDll({{0x0409, {{1, "second, longer"}}}}));
  HMODULE m = LoadLibraryExA(path.c_str(), nullptr, kAsData);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(Format(m, 1), "second, longer");
  // A module stays usable after the cache let its file go.
  platform::ClearModuleCache();
  EXPECT_EQ(Format(m, 1), "second, longer");
  FreeLibrary(m);
  platform::SetModuleCacheEnabled(false);
  HMODULE again = LoadLibraryExA(path.c_str(), nullptr, kAsData);
  EXPECT_EQ(platform::CachedModuleCount(), 0u);
  FreeLibrary(again);
  platform::SetModuleCacheEnabled(true);
}

TEST(PeResourcesTest, DamagedImagesNeverReadOutside) {
  std::vector<uint8_t> good = platform::WriteMessageDll({{0x0409, {{1, "a"}, {2, "b"}}}, {0x0407, {{1, "c"}}}});
  platform::MessageTables tables;
  ASSERT_EQ(platform::ReadMessageTables(good.data(), good.size(), tables), 0u);
  ASSERT_EQ(tables.state, 0u);
  ASSERT_EQ(tables.languages.size(), 2u);
  // Every truncation either fails cleanly or still finds whole tables.
  for (size_t n = 0; n < good.size(); n += 7) {
    std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<long>(n));
    platform::MessageTables t;
    DWORD rc = platform::ReadMessageTables(cut.data(), cut.size(), t);
    if (rc == 0)
      for (auto& [id, table] : t.languages) {
        platform::MessageEntry e;
        platform::FindMessageEntry(table, 1, e);
      }
  }
  // An entry length of 0 would make the walk stand still.
  std::vector<uint8_t> table = tables.languages[1].second;
  table[4 + 12] = 0;
  table[4 + 13] = 0;
  platform::MessageEntry e;
  EXPECT_EQ(platform::FindMessageEntry(table, 2, e), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
}

// A table that reaches one byte past its section's raw data is refused, though the file holds
// the byte: past the raw data a section is zeros in memory, not what the file has there.
TEST(PeResourcesTest, TableMustLieInsideItsSectionsRawData) {
  std::vector<uint8_t> dll = platform::WriteMessageDll({{0x0409, {{1, "a"}, {2, "b"}}}});
  platform::MessageTables tables;
  ASSERT_EQ(platform::ReadMessageTables(dll.data(), dll.size(), tables), 0u);
  const std::vector<uint8_t>& table = tables.languages.at(0).second;
  const auto at = std::search(dll.begin(), dll.end(), table.begin(), table.end()) - dll.begin();
  auto le32 = [&](size_t off) { return uint32_t{dll[off]} | dll[off + 1] << 8 | dll[off + 2] << 16 | uint32_t{dll[off + 3]} << 24; };
  // The section that holds the table, and the raw size that just covers it.
  const size_t coff = le32(platform::pe::kDosNewHeader) + platform::pe::kSignatureSize;
  size_t section = coff + platform::pe::kCoffSize + (dll[coff + platform::pe::kCoffOptionalSize] | dll[coff + platform::pe::kCoffOptionalSize + 1] << 8);
  while (le32(section + platform::pe::kSectionRawPointer) > static_cast<uint32_t>(at) ||
         le32(section + platform::pe::kSectionRawPointer) + le32(section + platform::pe::kSectionRawSize) < at + table.size())
    section += platform::pe::kSectionSize;
  const uint32_t exact = static_cast<uint32_t>(at + table.size()) - le32(section + platform::pe::kSectionRawPointer);
  for (uint32_t raw : {exact, exact - 1}) {
    for (int b = 0; b < 4; ++b) dll[section + platform::pe::kSectionRawSize + b] = static_cast<uint8_t>(raw >> (8 * b));
    platform::MessageTables t;
    platform::ReadMessageTables(dll.data(), dll.size(), t);
    EXPECT_EQ(t.state == 0 && !t.languages.empty(), raw == exact) << raw;
  }
}

TEST(PeResourcesTest, RealDlls) {
  std::ifstream with(kReal + "/wrc_test.dll", std::ios::binary), without(kReal + "/nowrc_test.dll", std::ios::binary);
  if (!with || !without) GTEST_SKIP() << "no real DLLs in " << kReal;
  std::vector<uint8_t> a((std::istreambuf_iterator<char>(with)), {}), b((std::istreambuf_iterator<char>(without)), {});
  platform::MessageTables t;
  ASSERT_EQ(platform::ReadMessageTables(a.data(), a.size(), t), 0u);
  EXPECT_EQ(t.state, 0u);
  ASSERT_FALSE(t.languages.empty());
  // The first block's first id must be there.
  const auto& table = t.languages.front().second;
  ASSERT_GE(table.size(), 16u);
  platform::MessageEntry e;
  EXPECT_EQ(platform::FindMessageEntry(table, table[4] | table[5] << 8 | table[6] << 16 | table[7] << 24, e), 0u);
  EXPECT_GT(e.bytes, 0u);
  ASSERT_EQ(platform::ReadMessageTables(b.data(), b.size(), t), 0u);
  EXPECT_NE(t.state, 0u);
}

}  // namespace
