// "--help" and "--version" of the programs, answered before anything starts: no instance
// check, no settings, no window, so they work without a display and beside a running copy.
#pragma once

struct ProgramHelp {
  const char* name;     // "corvane"
  const char* version;  // "0.1"
  const char* text;     // the whole help text, ending with a line end
};

// Only a command line that is exactly "--help" or "--version" is answered: any other word may be
// a list file's name. Returns the exit code, or -1 when the command line is something else.
int AnswerHelpOrVersion(const ProgramHelp& program, int argc, const char* const* argv);
