#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "platform/core/paths.h"
#include "platform/core/system_messages.h"
#include "tools/hostkit/hostkit.h"

namespace hostkit {
namespace {
std::map<std::string, Verb>& Verbs() {
  static std::map<std::string, Verb> verbs;
  return verbs;
}

constexpr char kOverview[] =
    "usage: hostkit VERB [--network DIR] ...\n"
    "Builds and changes the computers of the network folder (TALLYARD_NETWORK, or --network DIR):\n"
    "folders that hold what a Windows NT computer's disks hold.\n"
    "\n";

constexpr char kClosing[] =
    "\n"
    "hostkit VERB --help describes a verb; hostkit --version prints the version.\n"
    "Exit codes: 0 done, 1 refused or failed (the reason is on standard error), 2 misused.\n";

void PrintUsage(FILE* out, const Verb& verb) {
  for (const char* line = verb.usage; *line;) {
    const char* end = std::strchr(line, '\n');
    size_t n = end ? static_cast<size_t>(end - line) : std::strlen(line);
    std::fprintf(out, "%s%.*s\n", line == verb.usage ? "usage: " : "       ", static_cast<int>(n), line);
    line += n + (end ? 1 : 0);
  }
}

int Overview(FILE* out, int code) {
  std::fputs(kOverview, out);
  for (const auto& [name, verb] : Verbs()) std::fprintf(out, "%s\n", verb.usage);
  std::fputs(kClosing, out);
  return code;
}

int VerbHelp(const Verb& verb) {
  PrintUsage(stdout, verb);
  std::printf("\n%s", verb.help);
  return 0;
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

int Misused(const char* verb, const std::string& why) {
  if (!why.empty()) std::fprintf(stderr, "hostkit: %s\n", why.c_str());
  auto it = Verbs().find(verb);
  if (it != Verbs().end()) PrintUsage(stderr, it->second);
  return 2;
}

int FindImage(const std::string& name, platform::ComputerImage& image) {
  const DWORD rc = platform::FindComputer(name, image);
  if (rc == ERROR_SUCCESS) return 0;
  if (rc == ERROR_BAD_NETPATH) return Fail("no computer " + name + " in the network folder " + platform::NetworkFolder());
  return Fail("the host.ini of " + name + " in " + platform::NetworkFolder() + " cannot be read: " + Reason(rc));
}

int StandardLogName(const std::string& given, std::string& log) {
  for (const char* known : {"System", "Security", "Application"}) {
    if (platform::EqualsNoCase(known, given)) {
      log = known;
      return 0;
    }
  }
  return Fail("log " + given + " is not System, Security or Application", 2);
}

std::string Reason(DWORD code) {
  std::string text;
  if (!platform::SystemMessageText(code, text)) return "error " + std::to_string(code);
  while (!text.empty() && std::strchr("\r\n. ", text.back())) text.pop_back();
  // Inside a sentence of ours the system's text starts in lower case, unless it starts with a name.
  if (text.size() > 1 && std::isupper(static_cast<unsigned char>(text[0])) &&
      std::islower(static_cast<unsigned char>(text[1])))
    text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text + " (error " + std::to_string(code) + ")";
}

std::string ImageFaultNote(const platform::ComputerImage& image, DWORD code, const std::string& denial) {
  if (!image.host.online && code == RPC_S_SERVER_UNAVAILABLE) return ": its host.ini says online = false";
  if (code != ERROR_ACCESS_DENIED) return "";
  // "eventlog:Security" is refused by "eventlog" too.
  const std::string broad = denial.substr(0, denial.find(':'));
  for (const std::string& d : {broad, denial})
    if (image.host.Denies(d)) return ": its host.ini says deny = " + d;
  return "";
}

std::string NetBiosName(std::string name) {
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

}  // namespace hostkit

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string network;
  if (hostkit::TakeOption(args, "--network", network)) ::setenv("TALLYARD_NETWORK", network.c_str(), 1);
  if (args.empty()) return hostkit::Overview(stderr, 2);
  if (args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
    if (args.size() == 1) return hostkit::Overview(stdout, 0);
    auto it = hostkit::Verbs().find(args[1]);
    if (it == hostkit::Verbs().end()) return hostkit::Fail("unknown verb \"" + args[1] + "\" (try: hostkit help)", 2);
    return hostkit::VerbHelp(it->second);
  }
  if (args[0] == "--version") {
    std::printf("hostkit %s\n", TALLYARD_VERSION);
    return 0;
  }
  auto it = hostkit::Verbs().find(args[0]);
  if (it == hostkit::Verbs().end()) return hostkit::Fail("unknown verb \"" + args[0] + "\" (try: hostkit help)", 2);
  args.erase(args.begin());
  // Only as the verb's first word: later words may be values ("--string --help").
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) return hostkit::VerbHelp(it->second);
  return it->second.run(args);
}
