// hostkit reg: registry text files into and out of a computer's hives.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/core/network.h"
#include "platform/registry/hive_regtext.h"
#include "tools/hostkit/hostkit.h"

namespace {

int Import(const std::string& computer, const std::string& file) {
  platform::ComputerImage image;
  if (int rc = hostkit::FindImage(computer, image)) return rc;
  std::ifstream in(file, std::ios::binary);
  if (!in) return hostkit::Fail("cannot read " + file + ": " + std::strerror(errno));
  std::ostringstream bytes;
  bytes << in.rdbuf();
  std::vector<platform::RegTextChange> changes;
  std::string error;
  if (!platform::ParseRegText(bytes.str(), changes, error)) return hostkit::Fail(file + ": " + error + " (nothing imported)");
  if (DWORD rc = platform::ApplyRegText(image, changes, error))
    return hostkit::Fail(file + ": " + error + ": " + hostkit::Reason(rc));
  return 0;
}

int Export(const std::string& computer, const std::string& key) {
  platform::ComputerImage image;
  if (int rc = hostkit::FindImage(computer, image)) return rc;
  std::string out;
  DWORD rc = platform::ExportRegText(image, key, out);
  if (rc == ERROR_FILE_NOT_FOUND) return hostkit::Fail("no key " + key + " on " + image.name);
  if (rc) return hostkit::Fail("cannot read " + key + " on " + image.name + ": " + hostkit::Reason(rc));
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}

int Reg(const std::vector<std::string>& args) {
  if (args.size() == 3 && args[0] == "import") return Import(args[1], args[2]);
  if (args.size() == 3 && args[0] == "export") return Export(args[1], args[2]);
  return hostkit::Misused("reg");
}

const hostkit::VerbRegistration registration({
    "reg",
    "hostkit reg import NAME FILE.reg\n"
    "hostkit reg export NAME KEY",
    "import: applies a registry text file (REGEDIT4, or version 5.00 in UTF-8 or UTF-16) to the\n"
    "hives of NAME: keys and values are made or replaced, \"[-KEY]\" and \"NAME\"=- delete. A file\n"
    "with a broken line is refused with its line number, and nothing of it is imported.\n"
    "\n"
    "export: writes KEY (HKEY_LOCAL_MACHINE\\... or SOFTWARE\\..., with everything below it) to\n"
    "standard output as a version 5.00 registry text file.\n",
    Reg});

}  // namespace
