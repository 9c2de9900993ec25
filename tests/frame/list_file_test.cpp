#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "frame/list_file.h"
#include "tests/frame/recording_boxes.h"
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
  for (const char* n : {"SRV1", "WKS2", "\\\\PDC", "WKS2"}) {
    list.Append(MakeRecordFromName(n));
    list[list.Count() - 1].typeText = "Server", list[list.Count() - 1].selected = list.Count() != 2;
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

// A list past its bounds is refused whole, with a message, and the list is left as it was.
TEST(ListFileTest, ListsPastTheirBoundsAreRefusedWithAMessage) {
  RecordingBoxes boxes;
  TempNetwork net;
  std::string names;
  for (size_t i = 0; i < kMaxListComputers; ++i) names += "S" + std::to_string(i) + "\n";
  struct Case {
    const char* what;
    std::string bytes;
    bool loaded;
    size_t count;
  } cases[] = {
      {"as many names as a list may hold", names, true, kMaxListComputers},
      {"one name more", names + "LAST\n", false, 1},
      {"a file past the size bound", std::string(kMaxListFileBytes, ' ') + "\nA\n", false, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    boxes.boxes.clear();
    const std::string file = net.root() + "/list.imp";
    TempNetwork::WriteFile(file, c.bytes);
    ComputerList list;
    list.Append(MakeRecordFromName("KEEP"));
    EXPECT_EQ(LoadListFileInto(file, false, list, nullptr), c.loaded);
    EXPECT_EQ(list.Count(), c.count);
    EXPECT_EQ(boxes.boxes.size(), c.loaded ? 0u : 1u);
    if (!c.loaded) {
      EXPECT_EQ(NamesOf(list), std::vector<std::string>{"KEEP"});
    }
  }
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
