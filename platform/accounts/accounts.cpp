#include "platform/core/beneath.h"
#include "platform/accounts/accounts.h"

#include <sys/stat.h>

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>
#include <optional>

#include "platform/core/bytes.h"
#include "platform/core/network.h"
#include "platform/core/paths.h"
#include "platform/registry/registry.h"

namespace platform {
namespace {

struct Sid {
  uint64_t authority = 0;
  std::vector<DWORD> sub;
};

Sid Parse(const uint8_t* p) {
  Sid s;
  for (int i = 0; i < 6; ++i) s.authority = (s.authority << 8) | p[2 + i];  // big-endian
  for (int i = 0; i < p[1]; ++i) s.sub.push_back(LoadLe32(p + 8 + 4 * i));
  return s;
}

struct Account {
  std::string name, domain;
  SID_NAME_USE use = SidTypeUnknown;
};

const char kNtAuthority[] = "NT AUTHORITY";

std::optional<Account> WellKnown(const Sid& s, const ComputerImage& computer) {
  auto one = [&](uint64_t auth, DWORD rid) { return s.authority == auth && s.sub.size() == 1 && s.sub[0] == rid; };
  if (one(0, 0)) return Account{"NULL SID", "", SidTypeWellKnownGroup};
  if (one(1, 0)) return Account{"Everyone", "", SidTypeWellKnownGroup};
  if (one(2, 0)) return Account{"LOCAL", "", SidTypeWellKnownGroup};
  if (one(3, 0)) return Account{"CREATOR OWNER", "", SidTypeWellKnownGroup};
  if (one(3, 1)) return Account{"CREATOR GROUP", "", SidTypeWellKnownGroup};
  if (s.authority != 5) return std::nullopt;
  if (s.sub.size() == 1) {
    // LOCAL SERVICE and NETWORK SERVICE came with Windows XP (5.1): an older image has neither.
    bool xp = std::strtod(computer.host.version.c_str(), nullptr) >= 5.1;
    switch (s.sub[0]) {
      case 1: return Account{"DIALUP", kNtAuthority, SidTypeWellKnownGroup};
      case 2: return Account{"NETWORK", kNtAuthority, SidTypeWellKnownGroup};
      case 3: return Account{"BATCH", kNtAuthority, SidTypeWellKnownGroup};
      case 4: return Account{"INTERACTIVE", kNtAuthority, SidTypeWellKnownGroup};
      case 6: return Account{"SERVICE", kNtAuthority, SidTypeWellKnownGroup};
      case 7: return Account{"ANONYMOUS LOGON", kNtAuthority, SidTypeWellKnownGroup};
      case 9: return Account{"ENTERPRISE DOMAIN CONTROLLERS", kNtAuthority, SidTypeWellKnownGroup};
      case 10: return Account{"SELF", kNtAuthority, SidTypeWellKnownGroup};
      case 11: return Account{"Authenticated Users", kNtAuthority, SidTypeWellKnownGroup};
      case 18: return Account{"SYSTEM", kNtAuthority, SidTypeWellKnownGroup};
      case 19: if (xp) return Account{"LOCAL SERVICE", kNtAuthority, SidTypeWellKnownGroup}; break;
      case 20: if (xp) return Account{"NETWORK SERVICE", kNtAuthority, SidTypeWellKnownGroup}; break;
      case 32: return Account{"BUILTIN", "BUILTIN", SidTypeDomain};
      default: break;
    }
  }
  return std::nullopt;
}

// The names below a SAM "Names" key by RID: each name's default value holds no data and keeps
// the RID in its type field.
std::map<DWORD, std::string> NamesByRid(const ComputerImage& computer, const std::string& namesKey) {
  std::map<DWORD, std::string> out;
  std::vector<std::string> names;
  if (ListImageSubkeys(computer, namesKey, names) != ERROR_SUCCESS) return out;
  for (const auto& n : names) {
    RegistryValue v;
    if (ReadImageValue(computer, namesKey + "\\" + n, "", v) == ERROR_SUCCESS) out.emplace(v.type, n);
  }
  return out;
}

const char kAccountDomain[] = "SAM\\SAM\\Domains\\Account";
const char kBuiltinDomain[] = "SAM\\SAM\\Domains\\Builtin";

// What one SAM hive says about accounts. Every record of a log asks for its user's name, so
// the hive is read once per file version, not once per record.
struct Sam {
  bool hasDomain = false;
  DWORD domain[3] = {};  // S-1-5-21-a-b-c: the last 12 bytes of the account domain's V value
  std::map<DWORD, std::string> users, groups, aliases, builtin;
};

std::shared_ptr<const Sam> ReadSam(const ComputerImage& computer) {
  static std::mutex lock;
  static std::map<std::string, std::pair<std::tuple<ino_t, off_t, long long, long>, std::shared_ptr<const Sam>>> cache;
  std::string file;
  struct stat st;
  if (ImageHiveFile(computer, "SAM", file) != ERROR_SUCCESS || StatNative(file, st) != 0)
    return std::make_shared<Sam>();
  auto identity = std::make_tuple(st.st_ino, st.st_size, static_cast<long long>(st.st_mtim.tv_sec), st.st_mtim.tv_nsec);
  {
    std::lock_guard<std::mutex> guard(lock);
    auto it = cache.find(file);
    if (it != cache.end() && it->second.first == identity) return it->second.second;
  }
  auto sam = std::make_shared<Sam>();
  RegistryValue v;
  if (ReadImageValue(computer, kAccountDomain, "V", v) == ERROR_SUCCESS && v.data.size() >= 12) {
    const auto* p = reinterpret_cast<const uint8_t*>(v.data.data() + v.data.size() - 12);
    for (int i = 0; i < 3; ++i) sam->domain[i] = LoadLe32(p + 4 * i);
    sam->hasDomain = true;
  }
  const std::string account = kAccountDomain;
  sam->users = NamesByRid(computer, account + "\\Users\\Names");
  sam->groups = NamesByRid(computer, account + "\\Groups\\Names");
  sam->aliases = NamesByRid(computer, account + "\\Aliases\\Names");
  sam->builtin = NamesByRid(computer, std::string(kBuiltinDomain) + "\\Aliases\\Names");
  std::lock_guard<std::mutex> guard(lock);
  if (cache.size() >= 64) cache.clear();
  cache[file] = {identity, sam};
  return sam;
}

// The account of `s` in the account domain that `computer`'s SAM holds, named `domainName`.
std::optional<Account> DomainAccount(const Sid& s, const ComputerImage& computer, const std::string& domainName) {
  if (s.authority != 5 || s.sub.size() < 4 || s.sub.size() > 5 || s.sub[0] != 21) return std::nullopt;
  auto sam = ReadSam(computer);
  if (!sam->hasDomain || s.sub[1] != sam->domain[0] || s.sub[2] != sam->domain[1] || s.sub[3] != sam->domain[2])
    return std::nullopt;
  if (s.sub.size() == 4) return Account{domainName, domainName, SidTypeDomain};
  DWORD rid = s.sub[4];
  if (auto it = sam->users.find(rid); it != sam->users.end()) return Account{it->second, domainName, SidTypeUser};
  if (auto it = sam->groups.find(rid); it != sam->groups.end()) return Account{it->second, domainName, SidTypeGroup};
  if (auto it = sam->aliases.find(rid); it != sam->aliases.end()) return Account{it->second, domainName, SidTypeAlias};
  return std::nullopt;
}

std::optional<Account> Builtin(const Sid& s, const ComputerImage& computer) {
  if (s.authority != 5 || s.sub.size() != 2 || s.sub[0] != 32) return std::nullopt;
  auto sam = ReadSam(computer);
  if (auto it = sam->builtin.find(s.sub[1]); it != sam->builtin.end()) return Account{it->second, "BUILTIN", SidTypeAlias};
  // An image without a SAM still knows the aliases every NT installation has.
  static const char* const kAliases[] = {"Administrators",    "Users",            "Guests",
                                         "Power Users",       "Account Operators", "Server Operators",
                                         "Print Operators",   "Backup Operators", "Replicator"};
  if (sam->builtin.empty() && s.sub[1] >= 544 && s.sub[1] <= 552)
    return Account{kAliases[s.sub[1] - 544], "BUILTIN", SidTypeAlias};
  return std::nullopt;
}

bool IsController(const ComputerImage& c) { return c.host.role == "pdc" || c.host.role == "bdc"; }

std::optional<Account> Resolve(const Sid& s, const ComputerImage& computer) {
  if (auto a = WellKnown(s, computer)) return a;
  if (auto a = Builtin(s, computer)) return a;
  // A controller's account domain is the domain itself; a member's is the computer.
  std::string own = IsController(computer) && !computer.host.domain.empty() ? computer.host.domain : computer.name;
  if (auto a = DomainAccount(s, computer, own)) return a;
  if (computer.host.domain.empty() || computer.host.role == "pdc") return std::nullopt;
  for (const ComputerImage& c : ListComputers()) {
    if (c.host.role != "pdc" || !EqualsNoCase(c.host.domain, computer.host.domain) || !c.host.online) continue;
    if (auto a = DomainAccount(s, c, c.host.domain)) return a;
  }
  return std::nullopt;
}

bool Put(const std::string& text, LPSTR buffer, LPDWORD cch) {
  if (text.size() + 1 > *cch) return false;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return true;
}

}  // namespace

}  // namespace platform

BOOL LookupAccountSidA(LPCSTR systemName, PSID sid, LPSTR name, LPDWORD cchName, LPSTR referencedDomainName,
                       LPDWORD cchReferencedDomainName, PSID_NAME_USE use) {
  if (!cchName || !cchReferencedDomainName || !use) return SetLastError(ERROR_INVALID_PARAMETER), FALSE;
  // The SID carries its own length; its two header bytes are read before anything else.
  if (!sid || platform::SidLength(sid, 8 + 4 * 15) == 0 ||
      static_cast<const uint8_t*>(sid)[0] != 1)
    return SetLastError(ERROR_INVALID_SID), FALSE;
  platform::ComputerImage computer;
  if (platform::ReachComputer(systemName, computer) != ERROR_SUCCESS)
    return SetLastError(RPC_S_SERVER_UNAVAILABLE), FALSE;
  auto account = platform::Resolve(platform::Parse(static_cast<const uint8_t*>(sid)), computer);
  if (!account) return SetLastError(ERROR_NONE_MAPPED), FALSE;
  if (account->name.size() + 1 > *cchName || account->domain.size() + 1 > *cchReferencedDomainName ||
      (!name && *cchName) || (!referencedDomainName && *cchReferencedDomainName)) {
    *cchName = static_cast<DWORD>(account->name.size() + 1);
    *cchReferencedDomainName = static_cast<DWORD>(account->domain.size() + 1);
    return SetLastError(ERROR_INSUFFICIENT_BUFFER), FALSE;
  }
  platform::Put(account->name, name, cchName);
  platform::Put(account->domain, referencedDomainName, cchReferencedDomainName);
  *cchName = static_cast<DWORD>(account->name.size());
  *cchReferencedDomainName = static_cast<DWORD>(account->domain.size());
  *use = account->use;
  return TRUE;
}
