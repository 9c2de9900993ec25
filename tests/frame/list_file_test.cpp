#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "frame/list_file.h"
#include "tests/support/temp_network.h"

namespace {

std::vector<std::string> NamesOf(const ComputerList& list) {
  std::vector<std::string> names;
  for (const auto& r : list) names.push_back(r.name);
  return names;
}

std::vector<std::string> ReadBytes(const std::string& bytes) {
  std::FILE* f = std::tmpfile();
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::rewind(f);
  ComputerList list;
  list.Append(MakeRecordFromName("STALE"));
  ReadListNames(f, list);
  std::fclose(f);
  return NamesOf(list);
}

TEST(ListFileReadTest, TakesTheFirstWordOfEveryLine) {
  const std::string huge(100000, 'z');
  struct Case {
    const char* what;
    std::string bytes;
    std::vector<std::string> names;
  } cases[] = {
      {"empty file", "", {}},
      {"exported lines", "SRV1\tServer\nWKS1\tWorkstation\n", {"SRV1", "WKS1"}},
      {"CRLF line ends", "SRV1\r\nWKS1 \r\n", {"SRV1", "WKS1"}},
      {"no final line end", "A\nB", {"A", "B"}},
      {"blank lines skipped", "\n   \n\t\nA\n\r\n", {"A"}},
      {"leading blanks", "   \tSRV1 rest of line\n", {"SRV1"}},
      {"backslashes dropped", "\\\\SRV1\n\\\\ABCDEFGHIJKLMNO\n", {"SRV1", "ABCDEFGHIJKLMNO"}},
      {"a bare pair of backslashes names nobody", "\\\\\n\\\\ x\nA\n", {"A"}},
      {"17 then 15", "ABCDEFGHIJKLMNOPQRSTUVWXYZ\n", {"ABCDEFGHIJKLMNO"}},
      {"duplicates stay", "A\nA\n", {"A", "A"}},
      {"NUL ends the line's text", std::string("AB\0CD\nEF\n", 9), {"AB", "EF"}},
      {"NUL first", std::string("\0AB\nC\n", 6), {"C"}},
      {"binary bytes kept in a name", "\x01\x7F\xFE\n", {"\x01\x7F\xFE"}},
      // A line far longer than any buffer is one line: no piece becomes a computer.
      {"enormous line", "FIRST " + huge + "\nSECOND\n", {"FIRST", "SECOND"}},
      {"enormous word", huge + "\nNEXT\n", {"zzzzzzzzzzzzzzz", "NEXT"}},
      {"enormous blank run", std::string(70000, ' ') + "LATE\nX\n", {"X"}},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadBytes(c.bytes), c.names) << c.what;
}

TEST(ListFileTest, ExportWritesTheSelectedInOrderAndImportRestoresThem) {
  TempNetwork net;
  ComputerList list;
  const char* names[] = {"SRV1", "WKS2", "\\\\PDC", "WKS2"};
  int i = 0;
  for (const char* n : names) {
    ComputerRecord r = MakeRecordFromName(n);
    r.typeText = "Server";
    r.selected = (i++ != 1);
    list.Append(r);
  }
  std::string file = net.root() + "/out.exp";
  ASSERT_TRUE(WriteListFile(file, list));
  EXPECT_EQ(TempNetwork::ReadFile(file), "SRV1\tServer\nPDC\tServer\nWKS2\tServer\n");

  ComputerList back;
  ASSERT_TRUE(LoadListFileInto(file, false, back, nullptr));
  EXPECT_EQ(NamesOf(back), (std::vector<std::string>{"SRV1", "PDC", "WKS2"}));
  for (const auto& r : back) EXPECT_EQ(r.typeText, "Unknown");  // types are looked up anew

  for (auto& r : list) r.selected = 0;
  ASSERT_TRUE(WriteListFile(file, list));
  EXPECT_EQ(TempNetwork::ReadFile(file), "");
  EXPECT_FALSE(WriteListFile(net.root() + "/missing/folder/x.exp", list));
}

TEST(ListFileTest, ExportReplacesTheOldListOnlyWhenTheNewOneIsComplete) {
  TempNetwork net;
  ComputerList list;
  ComputerRecord r = MakeRecordFromName("SRV1");
  r.selected = 1;
  list.Append(r);
  std::string file = net.root() + "/keep.exp";
  TempNetwork::WriteFile(file, "OLD\tServer\n");
  ::chmod(file.c_str(), 0640);
  ASSERT_TRUE(WriteListFile(file, list));
  EXPECT_EQ(TempNetwork::ReadFile(file), "SRV1\tUnknown\n");
  struct stat st;
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  // Through a link the named file is replaced and the link stays; no temporary is left.
  std::string link = net.root() + "/link.exp";
  ASSERT_EQ(::symlink(file.c_str(), link.c_str()), 0);
  list[0].name = "SRV2";
  ASSERT_TRUE(WriteListFile(link, list));
  EXPECT_EQ(TempNetwork::ReadFile(file), "SRV2\tUnknown\n");
  struct stat lst;
  ASSERT_EQ(::lstat(link.c_str(), &lst), 0);
  EXPECT_TRUE(S_ISLNK(lst.st_mode));
  int entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(net.root()))
    entries += e.path().filename() != "network" && e.path().filename() != "run";
  EXPECT_EQ(entries, 2);  // keep.exp and the link
}

TEST(ListFileTest, UnreadableFilesLeaveTheListAlone) {
  TempNetwork net;
  ComputerList list;
  list.Append(MakeRecordFromName("KEEP"));
  EXPECT_FALSE(LoadListFileInto("", false, list, nullptr));
  EXPECT_FALSE(LoadListFileInto(net.root() + "/none.imp", false, list, nullptr));
  EXPECT_FALSE(LoadListFileInto(net.root(), false, list, nullptr));  // a folder
  EXPECT_FALSE(LoadListFileInto("/dev/zero", false, list, nullptr));  // a device that never ends
  ASSERT_EQ(::mkfifo((net.root() + "/fifo.imp").c_str(), 0600), 0);
  EXPECT_FALSE(LoadListFileInto(net.root() + "/fifo.imp", false, list, nullptr));  // no writer ever comes
  EXPECT_EQ(NamesOf(list), std::vector<std::string>{"KEEP"});

  TempNetwork::WriteFile(net.root() + "/blank.imp", "\n  \n");
  EXPECT_TRUE(LoadListFileInto(net.root() + "/blank.imp", false, list, nullptr));
  EXPECT_EQ(list.Count(), 0u);  // a file with no names empties the list
}

int lookups = 0;
void CountingLookup(ComputerList& list, HWND) {
  ++lookups;
  for (auto& r : list) r.typeText = "Looked up";
}

TEST(ListFileTest, TypeLookupRunsOnlyInteractivelyAndOnlyForAListWithNames) {
  TempNetwork net;
  TempNetwork::WriteFile(net.root() + "/a.imp", "A\nB\n");
  TempNetwork::WriteFile(net.root() + "/empty.imp", "");
  SetTypeLookup(CountingLookup);
  ComputerList list;
  lookups = 0;
  ASSERT_TRUE(LoadListFileInto(net.root() + "/a.imp", false, list, nullptr));
  EXPECT_EQ(lookups, 0);
  EXPECT_EQ(list[0].typeText, "Unknown");
  ASSERT_TRUE(LoadListFileInto(net.root() + "/a.imp", true, list, nullptr));
  EXPECT_EQ(lookups, 1);
  EXPECT_EQ(list[1].typeText, "Looked up");
  ASSERT_TRUE(LoadListFileInto(net.root() + "/empty.imp", true, list, nullptr));
  EXPECT_EQ(lookups, 1);
  SetTypeLookup(nullptr);
}

TEST(ListFileTest, DrivePathsOfTheLocalComputerResolveIntoItsImage) {
  TempNetwork net;
  std::string admin = net.AddComputer("ADMINPC");
  TempNetwork::WriteFile(admin + "/C/Lists/Lab.imp", "SRV1\n");
  ComputerList list;
  ASSERT_TRUE(LoadListFileInto("C:\\lists\\lab.IMP", false, list, nullptr));
  EXPECT_EQ(NamesOf(list), std::vector<std::string>{"SRV1"});
}

}  // namespace
