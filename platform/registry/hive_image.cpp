#include "platform/registry/hive_image.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/registry/hive_file.h"
#include "platform/registry/hive_format.h"
#include "platform/core/paths.h"
#include "platform/registry/registry.h"

namespace platform {
namespace {

std::string Le32(uint32_t v) {
  std::string s(4, '\0');
  StoreLe32(reinterpret_cast<unsigned char*>(s.data()), v);
  return s;
}

// FNV-1a over the upper-cased name, one seed per sub-authority.
uint32_t NameHash(const std::string& name, uint32_t seed) {
  uint32_t h = 2166136261u ^ seed;
  for (char c : name) {
    h ^= static_cast<unsigned char>(std::toupper(static_cast<unsigned char>(c)));
    h *= 16777619u;
  }
  return h;
}

struct Entry {
  std::vector<std::string> key;
  std::string value;
  RegistryValue data;
};

// Adds what is missing; a value already there is left as it is.
DWORD FillHive(const std::string& file, const std::vector<Entry>& entries) {
  return ChangeHive(file, [&](Hive& hive) {
    for (const auto& e : entries) {
      HiveNode node = 0;
      if (DWORD rc = hive.CreatePath(e.key, node)) return rc;
      RegistryValue existing;
      DWORD rc = hive.GetValue(node, e.value, existing);
      if (rc == ERROR_FILE_NOT_FOUND) rc = hive.SetValue(node, e.value, e.data);
      if (rc) return rc;
    }
    return DWORD{ERROR_SUCCESS};
  });
}

std::string ProductType(const std::string& role) {
  if (EqualsNoCase(role, "pdc") || EqualsNoCase(role, "bdc")) return "LanmanNT";
  if (EqualsNoCase(role, "server")) return "ServerNT";
  return "WinNT";
}

// A SAM user's V: the 0xCC-byte table of (offset, length) pairs, then the name in UTF-16.
std::string UserV(const std::string& name) {
  std::string v(0xCC, '\0');
  const std::string utf16 = Utf8ToUtf16Le(name);
  StoreLe32(reinterpret_cast<unsigned char*>(v.data()) + 0x0C, 0);
  StoreLe32(reinterpret_cast<unsigned char*>(v.data()) + 0x10, static_cast<uint32_t>(utf16.size()));
  v += utf16;
  while (v.size() % 4) v.push_back('\0');
  return v;
}

// A SAM user's F: the RID at 48 and the account flags at 56.
std::string UserF(uint32_t rid, uint16_t flags) {
  std::string f(80, '\0');
  auto* p = reinterpret_cast<unsigned char*>(f.data());
  StoreLe16(p, 2);  // revision
  StoreLe32(p + 48, rid);
  StoreLe16(p + 56, flags);
  return f;
}

}  // namespace

std::string EmptyAuditPolicy(int categories) {
  std::string v(static_cast<size_t>(4 + 4 * categories), '\0');
  v += Le32(static_cast<uint32_t>(categories));
  return v;
}

DWORD BuildComputerImage(const ImageSpec& spec) {
  const std::string network = NetworkFolder();
  if (DWORD rc = MakeFolders(network, 0755)) return rc;
  ComputerImage image;
  DWORD rc = FindComputer(spec.name, image);
  if (rc == ERROR_BAD_NETPATH) {
    if (spec.name.empty() || spec.name.find_first_of("/\\") != std::string::npos || spec.name == "." || spec.name == "..")
      return ERROR_INVALID_NAME;
    image.name = spec.name;
    image.root = network + "/" + spec.name;
    if ((rc = MakeFolders(image.root, spec.folderMode))) return rc;
  } else if (rc) {
    return rc;
  }
  const std::string ini = image.root + "/host.ini";
  struct stat st;
  if (::stat(ini.c_str(), &st) != 0) {
    if ((rc = WriteHostInfo(ini, spec.host))) return rc;
    ::chmod(ini.c_str(), spec.fileMode);
  }
  if ((rc = ReadHostInfo(ini, image.host))) return rc;

  // The system root's folders, then the hives' folder.
  const std::string& root = image.host.systemroot;
  if (root.size() < 3 || root[1] != ':') return ERROR_BAD_PATHNAME;
  std::string config;
  if ((rc = MakeImageFolders(image, root + "\\System32\\config", spec.folderMode, config))) return rc;
  std::string hives[4];
  for (int i = 0; i < 4; ++i) {
    if ((rc = ImageHiveFile(image, MachineHiveNames()[static_cast<size_t>(i)], hives[i], true))) return rc;
    if ((rc = CreateHiveFile(hives[i], spec.fileMode))) return rc;
  }
  const std::string& samFile = hives[0];
  const std::string& securityFile = hives[1];
  const std::string& softwareFile = hives[2];
  const std::string& systemFile = hives[3];

  const HostInfo& host = image.host;
  const bool nt4 = host.version.rfind("4.", 0) == 0 || host.version.rfind("3.", 0) == 0;
  std::vector<Entry> system = {
      {{"Select"}, "Current", DwordValue(1)},
      {{"Select"}, "Default", DwordValue(1)},
      {{"Select"}, "Failed", DwordValue(0)},
      {{"Select"}, "LastKnownGood", DwordValue(1)},
      {{"ControlSet001", "Control", "ComputerName", "ComputerName"}, "ComputerName", StringValue(REG_SZ, image.name)},
      {{"ControlSet001", "Control", "ProductOptions"}, "ProductType", StringValue(REG_SZ, ProductType(host.role))},
  };
  const char* logs[][2] = {{"Application", "AppEvent.Evt"}, {"Security", "SecEvent.Evt"}, {"System", "SysEvent.Evt"}};
  for (const auto& log : logs) {
    std::vector<std::string> key = {"ControlSet001", "Services", "EventLog", log[0]};
    system.push_back({key, "File", StringValue(REG_EXPAND_SZ, std::string("%SystemRoot%\\System32\\config\\") + log[1])});
    system.push_back({key, "MaxSize", DwordValue(0x80000)});      // 512 KB
    system.push_back({key, "Retention", DwordValue(604800)});     // 7 days, in seconds
  }
  if ((rc = FillHive(systemFile, system))) return rc;

  std::vector<Entry> software = {
      {{"Microsoft", "Windows NT", "CurrentVersion"}, "SystemRoot", StringValue(REG_SZ, host.systemroot)},
      {{"Microsoft", "Windows NT", "CurrentVersion"}, "CurrentVersion", StringValue(REG_SZ, host.version)},
  };
  if (host.version == "4.0")
    software.push_back({{"Microsoft", "Windows NT", "CurrentVersion"}, "CurrentBuildNumber", StringValue(REG_SZ, "1381")});
  if ((rc = FillHive(softwareFile, software))) return rc;

  std::vector<Entry> security = {{{"Policy", "PolAdtEv"}, "", RegistryValue{REG_NONE, EmptyAuditPolicy(nt4 ? 7 : 9)}}};
  if (EqualsNoCase(host.role, "pdc")) security.push_back({{"Policy", "PolSrvRo"}, "", RegistryValue{REG_NONE, Le32(3)}});
  if (EqualsNoCase(host.role, "bdc")) security.push_back({{"Policy", "PolSrvRo"}, "", RegistryValue{REG_NONE, Le32(2)}});
  if ((rc = FillHive(securityFile, security))) return rc;

  // S-1-5-21-a-b-c in binary at the end of the domain's V.
  std::string sid = std::string("\x01\x04\x00\x00\x00\x00\x00\x05", 8) + Le32(21);
  for (uint32_t seed = 1; seed <= 3; ++seed) sid += Le32(NameHash(image.name, seed));
  const std::vector<std::string> account = {"SAM", "Domains", "Account"};
  auto below = [&](std::initializer_list<const char*> more) {
    std::vector<std::string> k = account;
    for (const char* m : more) k.emplace_back(m);
    return k;
  };
  std::vector<Entry> sam = {
      {account, "V", RegistryValue{REG_BINARY, std::string(32, '\0') + sid}},
      {below({"Users", "Names", "Administrator"}), "", RegistryValue{500, ""}},
      {below({"Users", "Names", "Guest"}), "", RegistryValue{501, ""}},
      {below({"Users", "000001F4"}), "F", RegistryValue{REG_BINARY, UserF(500, 0x0210)}},
      {below({"Users", "000001F4"}), "V", RegistryValue{REG_BINARY, UserV("Administrator")}},
      {below({"Users", "000001F5"}), "F", RegistryValue{REG_BINARY, UserF(501, 0x0215)}},
      {below({"Users", "000001F5"}), "V", RegistryValue{REG_BINARY, UserV("Guest")}},
      {{"SAM", "Domains", "Builtin"}, "V", RegistryValue{REG_BINARY, std::string(32, '\0') + std::string("\x01\x01\x00\x00\x00\x00\x00\x05", 8) + Le32(32)}},
  };
  return FillHive(samFile, sam);
}

}  // namespace platform
