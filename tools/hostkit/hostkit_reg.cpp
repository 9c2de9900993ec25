// hostkit reg: registry text files into and out of a computer's hives.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/registry/hive_regtext.h"
#include "platform/core/network.h"
#include "tools/hostkit/hostkit.h"

namespace {

int Import(const std::string& computer, const std::string& file) {
  platform::ComputerImage image;
  if (platform::FindComputer(computer, image) != ERROR_SUCCESS)
    return hostkit::Fail("no computer " + computer + " in " + platform::NetworkFolder());
  std::ifstream in(file, std::ios::binary);
  if (!in) return hostkit::Fail("cannot read " + file);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  std::vector<platform::RegTextChange> changes;
  std::string error;
  if (!platform::ParseRegText(bytes.str(), changes, error)) return hostkit::Fail(file + ": " + error + " (nothing imported)");
  if (DWORD rc = platform::ApplyRegText(image, changes, error))
    return hostkit::Fail(file + ": " + error + ": error " + std::to_string(rc));
  return 0;
}

int Export(const std::string& computer, const std::string& key) {
  platform::ComputerImage image;
  if (platform::FindComputer(computer, image) != ERROR_SUCCESS)
    return hostkit::Fail("no computer " + computer + " in " + platform::NetworkFolder());
  std::string out;
  DWORD rc = platform::ExportRegText(image, key, out);
  if (rc == ERROR_FILE_NOT_FOUND) return hostkit::Fail("no key " + key + " on " + image.name);
  if (rc) return hostkit::Fail("cannot read " + key + " on " + image.name + ": error " + std::to_string(rc));
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}

int Reg(const std::vector<std::string>& args) {
  if (args.size() == 3 && args[0] == "import") return Import(args[1], args[2]);
  if (args.size() == 3 && args[0] == "export") return Export(args[1], args[2]);
  return hostkit::Fail("usage: hostkit reg import NAME FILE.reg | hostkit reg export NAME KEY", 2);
}

const hostkit::VerbRegistration registration({"reg",
                                              "hostkit reg import NAME FILE.reg\n"
                                              "hostkit reg export NAME KEY",
                                              Reg});

}  // namespace
