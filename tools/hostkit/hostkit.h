// hostkit: builds and changes computer images. Each verb lives in a file of its own and
// registers itself here, so adding a verb is adding a file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hostkit {

struct Verb {
  const char* name;   // first word of the command line ("create", "reg", "event", ...)
  const char* usage;  // one line per form, shown by "hostkit help"
  // `args` are the words after the verb, with "--network DIR" already taken out (it has set
  // TALLYARD_NETWORK). Returns the process exit code; errors are printed to stderr.
  int (*run)(const std::vector<std::string>& args);
};

// Registers a verb at static-initialisation time.
struct VerbRegistration {
  explicit VerbRegistration(const Verb& verb);
};

// Small helpers for the verbs' own option parsing.
// Takes "--name VALUE" (or "--name=VALUE") out of args; false when absent.
bool TakeOption(std::vector<std::string>& args, const std::string& name, std::string& value);
// Takes every occurrence of "--name VALUE", in order.
std::vector<std::string> TakeRepeated(std::vector<std::string>& args, const std::string& name);
// Takes a "--name" flag without a value.
bool TakeFlag(std::vector<std::string>& args, const std::string& name);
// Prints "hostkit: <message>" to stderr and returns 2 (a usage error) or 1.
int Fail(const std::string& message, int code = 1);

// Replaces the file at `path` by `bytes` in one step: the file is whole or untouched.
bool WriteWhole(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace hostkit
