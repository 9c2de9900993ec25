#include <gtest/gtest.h>

#include "frame/computer_list.h"
#include "tests/support/golden.h"

namespace {

TEST(MakeRecordFromNameTest, GoldenNamesAndAFreshRecord) {
  for (const GoldenCase& c : ReadGolden("frame/golden/names.txt")) {
    ComputerRecord r = MakeRecordFromName(c.Get("in"));
    EXPECT_EQ(r.name, c.Get("name")) << c.name;
    EXPECT_EQ(r.typeText, "Unknown");
    EXPECT_EQ(r.typeImage, TypeImageUnknown);
    EXPECT_EQ(r.selected, 0);
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
      {"\xC3\xA9\x80", 2, "\xC3\xA9"},                   // a whole character before a stray byte stays
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

}  // namespace
