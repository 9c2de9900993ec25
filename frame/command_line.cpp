#include "frame/command_line.h"

namespace {

// What the C library's "%s" treats as white space.
bool IsWhite(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

}  // namespace

bool TokenScanner::NextToken(std::string_view commandLine, Token& token) {
  if (!started_) {
    line_.assign(commandLine);
    // The tail is a C string: nothing after a NUL is part of it.
    if (auto nul = line_.find('\0'); nul != std::string::npos) line_.resize(nul);
    pos_ = 0;
    started_ = true;
  }
  token = Token{};
  while (pos_ < line_.size() && line_[pos_] == ' ') ++pos_;
  if (pos_ >= line_.size()) return false;

  size_t start, end;
  if (line_[pos_] == '"') {
    start = pos_ + 1;
    end = line_.find('"', start);
    if (end == std::string::npos) end = line_.size();
    // Two adjacent quotes give an empty token; the closing quote is stepped over as well.
    pos_ = end < line_.size() ? end + 1 : end;
  } else {
    // "%s" skips any white space first; step over it too, so that the scan position never
    // lands inside the word just read (which would return its tail as a token of its own).
    start = pos_;
    while (start < line_.size() && IsWhite(line_[start])) ++start;
    if (start >= line_.size()) {
      pos_ = line_.size();
      return false;
    }
    end = start;
    while (end < line_.size() && !IsWhite(line_[end])) ++end;
    pos_ = end;
  }
  if (end - start > kMaxToken) {
    // A token that does not fit the buffer is consumed whole and refused: cutting it would
    // name another file.
    token.tooLong = true;
    return true;
  }
  token.text = line_.substr(start, end - start);
  return true;
}

CorvaneCommandLine ParseCorvaneCommandLine(std::string_view commandLine) {
  CorvaneCommandLine result;
  TokenScanner scanner;
  TokenScanner::Token token;
  while (scanner.NextToken(commandLine, token)) {
    if (!token.tooLong && (token.text == "/S" || token.text == "-S")) {
      result.unattendedMode = true;
    } else {
      // An overlong token still replaces the file name, with one that cannot be opened.
      result.listFileName = token.text;
    }
  }
  return result;
}

std::string CommandTailFromArgs(int argc, const char* const* argv) {
  std::string tail;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i] ? argv[i] : "";
    if (!tail.empty()) tail.push_back(' ');
    bool quote = arg.empty();
    for (char c : arg)
      if (IsWhite(c)) quote = true;
    if (quote) {
      tail.push_back('"');
      tail.append(arg);
      tail.push_back('"');
    } else {
      tail.append(arg);
    }
  }
  return tail;
}
