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
  for (const GoldenCase& c : ReadGolden("frame/golden/cut_text.txt"))
    EXPECT_EQ(std::string(CutText(c.Get("in"), c.Number("max"))), c.Get("out")) << c.name;
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
