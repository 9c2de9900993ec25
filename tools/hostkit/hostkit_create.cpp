// hostkit create: a new computer of the network, a minimal Windows NT image.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/core/network.h"
#include "platform/registry/hive_image.h"
#include "tools/hostkit/hostkit.h"

namespace {

bool ValidComputerName(const std::string& name) {
  if (name.empty() || name.size() > 15) return false;
  for (char c : name) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x21 || std::strchr("\\/:*?\"<>|,;=+[]", c)) return false;
  }
  return name != "." && name != "..";
}

bool ValidVersion(const std::string& v) {
  size_t dot = v.find('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == v.size()) return false;
  for (size_t i = 0; i < v.size(); ++i)
    if (i != dot && !std::isdigit(static_cast<unsigned char>(v[i]))) return false;
  return true;
}

int Create(const std::vector<std::string>& argsIn) {
  std::vector<std::string> args = argsIn;
  platform::ImageSpec spec;
  std::string value;
  if (hostkit::TakeOption(args, "--role", value)) spec.host.role = value;
  if (hostkit::TakeOption(args, "--domain", value)) spec.host.domain = hostkit::NetBiosName(value);
  if (hostkit::TakeOption(args, "--version", value)) spec.host.version = value;
  if (hostkit::TakeOption(args, "--systemroot", value)) spec.host.systemroot = value;
  if (args.size() != 1) return hostkit::Misused("create");
  spec.name = hostkit::NetBiosName(args[0]);
  if (!ValidComputerName(spec.name))
    return hostkit::Fail("\"" + args[0] + "\" is no computer name (1 to 15 characters, no \\ / : * ? \" < > | , ; = + [ ])", 2);
  const std::string& role = spec.host.role;
  if (role != "workstation" && role != "server" && role != "pdc" && role != "bdc")
    return hostkit::Fail("--role must be workstation, server, pdc or bdc", 2);
  if (!ValidVersion(spec.host.version)) return hostkit::Fail("--version must be major.minor, such as 4.0", 2);
  const std::string& root = spec.host.systemroot;
  if (root.size() < 4 || !std::isalpha(static_cast<unsigned char>(root[0])) || root[1] != ':' || root[2] != '\\' ||
      root.find("..") != std::string::npos)
    return hostkit::Fail("--systemroot must be a folder such as C:\\WINNT", 2);
  platform::ComputerImage existing;
  if (platform::FindComputer(spec.name, existing) == ERROR_SUCCESS)
    return hostkit::Fail("computer " + existing.name + " already exists in the network folder " + platform::NetworkFolder());
  if (DWORD rc = platform::BuildComputerImage(spec))
    return hostkit::Fail("cannot create " + spec.name + " in the network folder " + platform::NetworkFolder() + ": " +
                         hostkit::Reason(rc));
  std::printf("created %s/%s\n", platform::NetworkFolder().c_str(), spec.name.c_str());
  return 0;
}

const hostkit::VerbRegistration registration({
    "create",
    "hostkit create NAME [--role workstation|server|pdc|bdc] [--domain D] [--version 4.0] [--systemroot C:\\WINNT]",
    "Creates the computer NAME (in upper case, as NetBIOS names are) in the network folder: its\n"
    "host.ini and a drive folder C/ with the four registry hives (SYSTEM, SOFTWARE, SECURITY, SAM:\n"
    "the accounts Administrator and Guest), the event log keys of System, Security and\n"
    "Application, and auditing off.\n"
    "\n"
    "  --role R          workstation (the default), server, pdc or bdc: the computer's browse type\n"
    "  --domain D        its domain; the computers of a domain see its accounts through its pdc\n"
    "  --version V       the Windows NT version it reports, 4.0 by default\n"
    "  --systemroot DIR  where its hives and logs live, C:\\WINNT by default\n",
    Create});

}  // namespace
