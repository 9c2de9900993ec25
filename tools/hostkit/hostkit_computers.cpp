// hostkit list and remove: the computers of the network folder.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/core/network.h"
#include "tools/hostkit/hostkit.h"

namespace hostkit {
namespace {

std::string State(const platform::ComputerImage& c) {
  std::string state = c.host.online ? "on" : "switched off";
  if (c.host.busy > 0) state += ", busy " + std::to_string(c.host.busy);
  for (const std::string& d : c.host.deny) state += ", denies " + d;
  return state;
}

int RunList(const std::vector<std::string>& args) {
  if (!args.empty()) return Misused("list");
  const std::string network = platform::NetworkFolder();
  if (!std::filesystem::is_directory(network)) return Fail("the network folder " + network + " does not exist");
  const auto computers = platform::ListComputers();
  std::printf("network folder %s: %zu computer%s\n", network.c_str(), computers.size(), computers.size() == 1 ? "" : "s");
  if (computers.empty()) return 0;
  std::printf("\n%-15s  %-11s  %-15s  %-7s  %s\n", "Name", "Role", "Domain", "Version", "State");
  for (const auto& c : computers)
    std::printf("%-15s  %-11s  %-15s  %-7s  %s\n", c.name.c_str(), c.host.role.c_str(),
                c.host.domain.empty() ? "-" : c.host.domain.c_str(), c.host.version.c_str(), State(c).c_str());
  return 0;
}

// The first folder below `root` that lies on another file system: a mounted disk image, whose
// files are not ours to delete.
std::string MountPointBelow(const std::string& root) {
  namespace fs = std::filesystem;
  struct stat top;
  // A link is removed as a link: what it points at stays.
  if (::lstat(root.c_str(), &top) != 0 || S_ISLNK(top.st_mode)) return {};
  std::error_code ec;
  for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
       !ec && it != end; it.increment(ec)) {
    struct stat st;
    if (::lstat(it->path().c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_dev != top.st_dev) return it->path();
  }
  return {};
}

int RunRemove(const std::vector<std::string>& args) {
  if (args.size() != 1) return Misused("remove");
  platform::ComputerImage image;
  if (int rc = FindImage(args[0], image)) return rc;
  // This computer's image holds the programs' settings: taking it away would undo the installation.
  if (platform::SameComputerName(image.name, platform::LocalComputerName()))
    return Fail(image.name + " is this computer (COMPUTERNAME): its image holds the settings of the installation; "
                "remove its folder " + image.root + " by hand if that is meant");
  if (const std::string mount = MountPointBelow(image.root); !mount.empty())
    return Fail(mount + " is a mounted file system: unmount it first (nothing was removed)");
  std::error_code ec;
  std::filesystem::remove_all(image.root, ec);
  if (ec) return Fail("cannot remove " + image.root + ": " + ec.message() + " (part of it may be gone)");
  std::printf("removed %s\n", image.root.c_str());
  return 0;
}

const VerbRegistration kList({
    "list",
    "hostkit list",
    "Lists the computers of the network folder: name, role, domain, the Windows NT version they\n"
    "report, and their state (switched off, busy, what their host.ini makes them deny).\n",
    RunList});
const VerbRegistration kRemove({
    "remove",
    "hostkit remove NAME",
    "Deletes the computer NAME: its folder in the network folder, with everything in it. A folder\n"
    "with a mounted file system inside (a disk image mounted at C/) is refused: unmount it first.\n"
    "This computer's own image (COMPUTERNAME) is refused too, as it holds the settings.\n",
    RunRemove});

}  // namespace
}  // namespace hostkit
