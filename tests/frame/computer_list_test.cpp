#include <gtest/gtest.h>

#include "frame/computer_list.h"

namespace {

TEST(MakeRecordFromNameTest, DropsOnlyALeadingPairAndCutsTo15) {
  struct Case {
    std::string in;
    std::string name;
  } cases[] = {
      {"SRV1", "SRV1"},
      {"\\\\SRV1", "SRV1"},
      {"\\SRV1", "\\SRV1"},
      {"\\\\\\\\SRV1", "\\\\SRV1"},
      {"SR\\\\V1", "SR\\\\V1"},
      {"ABCDEFGHIJKLMNOPQ", "ABCDEFGHIJKLMNO"},
      {"\\\\ABCDEFGHIJKLMNO", "ABCDEFGHIJKLMNO"},
      {"", ""},
      // 14 ASCII bytes then a two-byte character: cutting at 15 would split it.
      {"ABCDEFGHIJKLMN\xC3\xA9Z", "ABCDEFGHIJKLMN"},
      {"ABCDEFGHIJKLM\xC3\xA9Z", "ABCDEFGHIJKLM\xC3\xA9"},
  };
  for (const auto& c : cases) {
    ComputerRecord r = MakeRecordFromName(c.in);
    EXPECT_EQ(r.name, c.name) << c.in;
    EXPECT_EQ(r.typeText, "Unknown");
    EXPECT_EQ(r.typeImage, TypeImageUnknown);
    EXPECT_EQ(r.selected, 0);
    EXPECT_EQ(r.lookupThread, nullptr);
    for (const auto& slot : r.results) {
      EXPECT_EQ(slot.status, 0u);
      EXPECT_EQ(slot.logName[0], '\0');
    }
  }
}

TEST(CutTextTest, NeverSplitsACharacter) {
  struct Case {
    std::string in;
    size_t max;
    std::string out;
  } cases[] = {
      {"abc", 5, "abc"},
      {"abcdef", 3, "abc"},
      {"\xE2\x82\xAC\xE2\x82\xAC", 4, "\xE2\x82\xAC"},   // euro signs
      {"\xE2\x82\xAC\xE2\x82\xAC", 3, "\xE2\x82\xAC"},
      {"\xE2\x82\xAC", 2, ""},
      {"\xF0\x9F\x98\x80x", 3, ""},
      {"\xF0\x9F\x98\x80x", 4, "\xF0\x9F\x98\x80"},
      {"a\x80\x80\x80\x80", 3, "a\x80\x80"},             // stray continuation bytes count one each
      {"\xE9t\xE9", 2, "\xE9t"},                         // Latin-1 bytes are not UTF-8: cut bytewise
  };
  for (const auto& c : cases) EXPECT_EQ(std::string(CutText(c.in, c.max)), c.out) << c.in << " / " << c.max;
}

TEST(CopyTextTest, AlwaysTerminates) {
  char buf[4];
  EXPECT_EQ(CopyText(buf, sizeof buf, "abcdef"), 3u);
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(CopyText(buf, sizeof buf, "\xE2\x82\xAC!"), 3u);
  EXPECT_STREQ(buf, "\xE2\x82\xAC");
  EXPECT_EQ(CopyText(buf, 0, "x"), 0u);
}

TEST(ComputerListTest, KeepsOrderAndDuplicatesAndCopiesRecords) {
  ComputerList list;
  ComputerRecord a = MakeRecordFromName("B");
  list.Append(a);
  list.Append(MakeRecordFromName("A"));
  list.Append(a);
  a.name = "changed";
  ASSERT_EQ(list.Count(), 3u);
  EXPECT_EQ(list[0].name, "B");
  EXPECT_EQ(list[1].name, "A");
  EXPECT_EQ(list[2].name, "B");
  list.Clear();
  EXPECT_EQ(list.Count(), 0u);
}

}  // namespace
