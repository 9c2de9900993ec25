#include "frame/program_help.h"

#include <cstdio>
#include <cstring>

int AnswerHelpOrVersion(const ProgramHelp& program, int argc, const char* const* argv) {
  if (argc != 2) return -1;
  if (std::strcmp(argv[1], "--help") == 0) {
    std::fputs(program.text, stdout);
  } else if (std::strcmp(argv[1], "--version") == 0) {
    std::printf("%s %s\n", program.name, program.version);
  } else {
    return -1;
  }
  // A closed or full standard output is a failure the caller's script should see.
  return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}
