// The manual pages render without a single warning at the terminal's usual width and name the
// program they describe; the desktop entries validate, and each starts a program that has a
// manual page, with an icon the build made.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/tool_run.h"

namespace {

namespace fs = std::filesystem;

const std::string kPackaging = TALLYARD_SOURCE_DIR "/packaging";

TEST(Packaging, ManualPagesRenderWithoutWarnings) {
  if (!HaveTool("man") || !HaveTool("groff")) GTEST_SKIP() << "man or groff missing";
  int pages = 0;
  for (const auto& e : fs::directory_iterator(kPackaging + "/man")) {
    const std::string page = e.path().string(), name = e.path().stem().string();
    SCOPED_TRACE(name);
    ++pages;
    std::string warnings, text;
    EXPECT_EQ(RunTool("MANWIDTH=80 man --warnings -l " + Quoted(page) + " 2>&1 >/dev/null", &warnings), 0);
    EXPECT_EQ(warnings, "");
    EXPECT_EQ(RunTool("groff -ww -z -man " + Quoted(page), &warnings), 0);
    EXPECT_EQ(warnings, "");
    ASSERT_EQ(RunTool("MANWIDTH=80 man -l " + Quoted(page) + " 2>/dev/null", &text), 0);
    EXPECT_NE(text.find("NAME\n       " + name + " - "), std::string::npos) << text.substr(0, 300);
  }
  EXPECT_EQ(pages, 5);
}

TEST(Packaging, DesktopEntriesValidateAndStartWhatIsThere) {
  int entries = 0;
  for (const auto& e : fs::directory_iterator(kPackaging + "/desktop")) {
    SCOPED_TRACE(e.path().filename().string());
    ++entries;
    std::string out;
    if (HaveTool("desktop-file-validate")) {
      EXPECT_EQ(RunTool("desktop-file-validate " + Quoted(e.path().string()), &out), 0);
      EXPECT_EQ(out, "");
    }
    std::ifstream in(e.path());
    std::string line, program, icon;
    while (std::getline(in, line)) {
      if (line.rfind("Exec=", 0) == 0) program = line.substr(5, line.find(' ') - 5);
      if (line.rfind("Icon=", 0) == 0) icon = line.substr(5);
    }
    EXPECT_TRUE(fs::exists(kPackaging + "/man/" + program + ".1")) << program;
    EXPECT_TRUE(fs::exists(TALLYARD_BINARY_DIR "/packaging/icons/" + icon + ".png")) << icon;
  }
  EXPECT_EQ(entries, 3);
}

}  // namespace
