#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/command_line.h"
#include "tests/support/golden.h"

namespace {

std::vector<std::string> Tokens(std::string_view line) {
  TokenScanner scanner;
  TokenScanner::Token token;
  std::vector<std::string> out;
  while (scanner.NextToken(line, token)) out.push_back(token.tooLong ? "<too long>" : token.text);
  return out;
}

TEST(CommandLineTest, GoldenLines) {
  for (const GoldenCase& c : ReadGolden("frame/golden/command_line.txt")) {
    SCOPED_TRACE(c.name);
    const std::string line = c.Get("line");
    EXPECT_EQ(Tokens(line), c.All("token"));
    CorvaneCommandLine cl = ParseCorvaneCommandLine(line);
    EXPECT_EQ(cl.unattendedMode, c.Number("unattended") != 0);
    EXPECT_EQ(cl.listFileName, c.Get("file"));
  }
}

TEST(CommandLineTest, LaterCallsIgnoreTheirArgument) {
  TokenScanner scanner;
  TokenScanner::Token token;
  ASSERT_TRUE(scanner.NextToken("first second", token));
  ASSERT_TRUE(scanner.NextToken("other text", token));
  EXPECT_EQ(token.text, "second");
  EXPECT_FALSE(scanner.NextToken("more", token));
}

TEST(CommandLineTest, TailQuotesArgumentsThatHoldWhiteSpace) {
  const char* argv[] = {"corvane", "-S", "my lab.imp", "", "tab\there"};
  std::string tail = CommandTailFromArgs(5, argv);
  EXPECT_EQ(tail, "-S \"my lab.imp\" \"\" \"tab\there\"");
  EXPECT_EQ(ParseCorvaneCommandLine(tail).listFileName, "tab\there");
}

}  // namespace
