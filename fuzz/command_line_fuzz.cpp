// Corvane's command-line tail: any bytes must split into tokens that lie inside the input.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "frame/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string tail(reinterpret_cast<const char*>(data), size);
  TokenScanner scanner;
  TokenScanner::Token token;
  size_t total = 0;
  int guard = 0;
  while (scanner.NextToken(tail, token)) {
    if (token.text.size() > kMaxToken) std::abort();
    if (token.tooLong && !token.text.empty()) std::abort();
    total += token.text.size();
    // Every call consumes input, so there can be no more tokens than bytes plus one.
    if (++guard > static_cast<int>(size) + 1) std::abort();
  }
  if (total > size) std::abort();
  CorvaneCommandLine cl = ParseCorvaneCommandLine(tail);
  if (cl.listFileName.size() > kMaxToken) std::abort();
  return 0;
}
