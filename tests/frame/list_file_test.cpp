#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "frame/list_file.h"
#include "tests/support/golden.h"
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

TEST(ListFileReadTest, GoldenFiles) {
  for (const GoldenCase& c : ReadGolden("frame/golden/list_file.txt")) EXPECT_EQ(ReadBytes(c.Get("bytes")), c.All("name")) << c.name;
}

// A line far longer than any buffer is one line: no piece of it becomes a computer.
TEST(ListFileReadTest, EnormousLines) {
  const std::string huge(100000, 'z');
  EXPECT_EQ(ReadBytes("FIRST " + huge + "\nSECOND\n"), (std::vector<std::string>{"FIRST", "SECOND"}));
  EXPECT_EQ(ReadBytes(huge + "\nNEXT\n"), (std::vector<std::string>{"zzzzzzzzzzzzzzz", "NEXT"}));
  EXPECT_EQ(ReadBytes(std::string(70000, ' ') + "LATE\nX\n"), std::vector<std::string>{"X"});
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
