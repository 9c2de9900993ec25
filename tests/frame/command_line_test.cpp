#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/command_line.h"

namespace {

std::vector<std::string> Tokens(std::string_view line) {
  TokenScanner scanner;
  TokenScanner::Token token;
  std::vector<std::string> out;
  while (scanner.NextToken(line, token)) out.push_back(token.tooLong ? "<too long>" : token.text);
  return out;
}

TEST(NextTokenTest, SplitsAsTheScanPatternsDo) {
  const std::string longWord(261, 'x');
  const std::string fitWord(260, 'y');
  struct Case {
    std::string line;
    std::vector<std::string> tokens;
  } cases[] = {
      {"", {}},
      {"   ", {}},
      {"a b  c", {"a", "b", "c"}},
      {"one \"two words\" three", {"one", "two words", "three"}},
      {"\"C:\\My Lists\\lab.imp\"", {"C:\\My Lists\\lab.imp"}},
      {"\"unterminated quote", {"unterminated quote"}},
      {"a\"b c", {"a\"b", "c"}},                   // a quote inside a word is part of it
      {"\"\" x", {"", "x"}},                        // two adjacent quotes: an empty token
      {"\"\"", {""}},
      {"\"", {""}},                                 // a lone quote at the end: empty, then the end
      {"\"a\"\"b\"", {"a", "b"}},
      {"\tfirst\tsecond", {"first", "second"}},     // tabs end words; no tail of a word comes back
      {"a\tb", {"a", "b"}},
      {"a \t ", {"a"}},
      {" \r\n", {}},
      {fitWord, {fitWord}},
      {longWord + " next", {"<too long>", "next"}},
      {"\"" + longWord + "\" next", {"<too long>", "next"}},
      {std::string("a\0b c", 5), {"a"}},            // the tail ends at a NUL
  };
  for (const auto& c : cases) EXPECT_EQ(Tokens(c.line), c.tokens) << "line: [" << c.line << "]";
}

TEST(NextTokenTest, LaterCallsIgnoreTheirArgument) {
  TokenScanner scanner;
  TokenScanner::Token token;
  ASSERT_TRUE(scanner.NextToken("first second", token));
  EXPECT_EQ(token.text, "first");
  ASSERT_TRUE(scanner.NextToken("other text", token));
  EXPECT_EQ(token.text, "second");
  EXPECT_FALSE(scanner.NextToken("more", token));
  EXPECT_FALSE(scanner.NextToken("more", token));
}

TEST(CorvaneCommandLineTest, SwitchAndFileNameInAnyOrder) {
  struct Case {
    const char* line;
    bool unattended;
    const char* file;
  } cases[] = {
      {"-S lab.imp", true, "lab.imp"},
      {"lab.imp /S", true, "lab.imp"},
      {"-S", true, ""},
      {"", false, ""},
      {"-s", false, "-s"},                     // the switch is case-sensitive
      {"/s lab.imp", false, "lab.imp"},        // a later file name replaces an earlier one
      {"a.imp b.imp -S", true, "b.imp"},
      {"\"-S\"", true, ""},                    // quotes only group
      {"-S \"my lab.imp\"", true, "my lab.imp"},
      {"-Sx", false, "-Sx"},
      {"good.imp \"\"", false, ""},            // an empty token replaces the name too
  };
  for (const auto& c : cases) {
    CorvaneCommandLine cl = ParseCorvaneCommandLine(c.line);
    EXPECT_EQ(cl.unattendedMode, c.unattended) << c.line;
    EXPECT_EQ(cl.listFileName, c.file) << c.line;
  }
}

TEST(CorvaneCommandLineTest, AnOverlongFileNameIsNeverCutToAnotherName) {
  std::string longName = "/data/" + std::string(300, 'n') + ".imp";
  CorvaneCommandLine cl = ParseCorvaneCommandLine("-S good.imp " + longName);
  EXPECT_TRUE(cl.unattendedMode);
  EXPECT_EQ(cl.listFileName, "");
}

TEST(CommandTailTest, QuotesArgumentsThatHoldWhiteSpace) {
  const char* argv[] = {"corvane", "-S", "my lab.imp", "", "tab\there"};
  std::string tail = CommandTailFromArgs(5, argv);
  EXPECT_EQ(tail, "-S \"my lab.imp\" \"\" \"tab\there\"");
  CorvaneCommandLine cl = ParseCorvaneCommandLine(tail);
  EXPECT_TRUE(cl.unattendedMode);
  EXPECT_EQ(cl.listFileName, "tab\there");
}

}  // namespace
