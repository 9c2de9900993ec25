#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "tools/hostkit/hostkit.h"

namespace hostkit {
namespace {
std::map<std::string, Verb>& Verbs() {
  static std::map<std::string, Verb> verbs;
  return verbs;
}
}  // namespace

VerbRegistration::VerbRegistration(const Verb& verb) { Verbs()[verb.name] = verb; }

bool TakeOption(std::vector<std::string>& args, const std::string& name, std::string& value) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == name && i + 1 < args.size()) {
      value = args[i + 1];
      args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
      return true;
    }
    if (args[i].rfind(name + "=", 0) == 0) {
      value = args[i].substr(name.size() + 1);
      args.erase(args.begin() + static_cast<long>(i));
      return true;
    }
  }
  return false;
}

std::vector<std::string> TakeRepeated(std::vector<std::string>& args, const std::string& name) {
  std::vector<std::string> values;
  std::string v;
  while (TakeOption(args, name, v)) values.push_back(v);
  return values;
}

bool TakeFlag(std::vector<std::string>& args, const std::string& name) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == name) {
      args.erase(args.begin() + static_cast<long>(i));
      return true;
    }
  }
  return false;
}

int Fail(const std::string& message, int code) {
  std::fprintf(stderr, "hostkit: %s\n", message.c_str());
  return code;
}

}  // namespace hostkit

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string network;
  if (hostkit::TakeOption(args, "--network", network)) ::setenv("TALLYARD_NETWORK", network.c_str(), 1);
  if (args.empty() || args[0] == "help" || args[0] == "--help") {
    std::printf("usage: hostkit VERB [--network DIR] ...\n");
    for (const auto& [name, verb] : hostkit::Verbs()) std::printf("%s\n", verb.usage);
    return args.empty() ? 2 : 0;
  }
  auto it = hostkit::Verbs().find(args[0]);
  if (it == hostkit::Verbs().end()) return hostkit::Fail("unknown verb \"" + args[0] + "\" (try: hostkit help)", 2);
  args.erase(args.begin());
  return it->second.run(args);
}
