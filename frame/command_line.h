// Corvane's command line: "-S" or "/S" for the unattended run, any other token a list file.
#pragma once

#include <string>
#include <string_view>

constexpr size_t kMaxToken = 260;

// Splits a command-line tail into tokens. Blanks separate tokens; a token that starts with a
// double quote runs to the next double quote (or the end) and may hold blanks.
class TokenScanner {
 public:
  struct Token {
    std::string text;
    bool tooLong = false;  // longer than 260 bytes: `text` is empty and must not be used
  };

  // The first call fixes the tail; later calls ignore their argument and continue.
  bool NextToken(std::string_view commandLine, Token& token);

 private:
  bool started_ = false;
  std::string line_;
  size_t pos_ = 0;
};

struct CorvaneCommandLine {
  bool unattendedMode = false;
  std::string listFileName;
};

CorvaneCommandLine ParseCorvaneCommandLine(std::string_view commandLine);

// The command-line tail as Windows would hand it over: the arguments joined by blanks, an
// argument that holds white space (or is empty) enclosed in double quotes.
std::string CommandTailFromArgs(int argc, const char* const* argv);
