#include <gtest/gtest.h>

#include <vector>

#include "frame/strings.h"
#include "programs/corvane/strings.h"
#include "tests/frame/recording_boxes.h"
#include "tests/support/temp_network.h"

namespace {

class MessagesTest : public ::testing::Test {
 protected:
  RecordingBoxes sink_;
};

TEST_F(MessagesTest, LoadStringCutsToTheBuffer) {
  SetStringTable(corvaneStrings);
  char small[8];
  EXPECT_EQ(LoadStringA(nullptr, 3, small, sizeof small), 7);
  EXPECT_STREQ(small, "Program");
  EXPECT_EQ(LoadStringA(nullptr, 3, small, 0), 0);
}

TEST_F(MessagesTest, BoxesCarryTheirCaptionsAndIcons) {
  SetStringTable(corvaneStrings);
  ShowErrorBox(nullptr, 3);
  ShowWarningBox(nullptr, 4);
  ShowErrorBox(nullptr, 999);  // no such string
  ShowStringBox(nullptr, 20);
  ShowSystemError(nullptr, "CreateProcess", 2);
  ShowSystemError(nullptr, "CreateProcess", 317);       // a text with inserts
  ShowSystemError(nullptr, "CreateProcess", 0xDEAD);    // no text at all
  // One box a line: caption, icon, text with its line ends shown.
  std::string listing;
  for (const auto& box : sink_.boxes) {
    std::string text = box.text;
    for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text.replace(at, 2, "\\r\\n");
    listing += box.caption + "\t" + std::to_string(box.type) + "\t" + text + "\n";
  }
  EXPECT_EQ(listing, TempNetwork::ReadFile(TALLYARD_SOURCE_DIR "/tests/frame/golden/boxes.txt"));
}

TEST_F(MessagesTest, ArgumentsAreNeverFormats) {
  static const StringEntry entries[] = {{2, "Unknown Error"}, {40, "Cannot open %s"}};
  SetStringTable({entries, 2});
  ShowErrorBox(nullptr, 40, "100% %n %s");
  ASSERT_EQ(sink_.boxes.size(), 1u);
  EXPECT_EQ(sink_.boxes[0].text, "Cannot open 100% %n %s");
  SetStringTable(corvaneStrings);
}

}  // namespace
