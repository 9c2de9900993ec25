#include "platform/net/netapi.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>
#include <unordered_set>

#include "platform/core/paths.h"
#include "platform/core/text.h"

namespace {

// Every buffer handed out, so that a stale or foreign pointer is refused instead of freed.
std::mutex& BufferMutex() {
  static std::mutex m;
  return m;
}
std::unordered_set<void*>& LiveBuffers() {
  static auto* set = new std::unordered_set<void*>();
  return *set;
}

LPBYTE AllocateNetBuffer(size_t bytes) {
  // malloc's alignment suits the structures at the start; never a zero-size block, so a
  // buffer always has an address of its own.
  void* p = std::calloc(1, bytes ? bytes : 1);
  if (!p) return nullptr;
  std::lock_guard lock(BufferMutex());
  LiveBuffers().insert(p);
  return static_cast<LPBYTE>(p);
}

}  // namespace

namespace platform {

std::string NetUtf8FromWide(LPCWSTR w, size_t maxUnits) {
  size_t units = 0;
  while (w && units < maxUnits && w[units]) ++units;
  std::string out;
  DecodeUtf16(units, [w](size_t i) { return uint32_t{w[i]}; }, [&](uint32_t cp) { AppendUtf8(out, cp); });
  return out;
}

}  // namespace platform

namespace {

// Names past this many units are cut: no computer or domain name comes near it.
constexpr size_t kMaxNameUnits = 1024;

std::string Utf8FromWide(LPCWSTR w) { return platform::NetUtf8FromWide(w, kMaxNameUnits); }

// Calls each thread has made to each computer (keyed by the computer's folder), for `busy`.
// Thread-local storage ends with its thread, so a new thread never inherits an old count.
thread_local std::unordered_map<std::string, long long> callsOfThisThread;

}  // namespace

namespace {
// A string of the buffer ends at the first NUL of its text, so that it takes exactly the room
// it shows.
std::u16string WideText(std::string_view text) {
  return platform::Utf8ToUtf16(text.substr(0, text.find('\0')));
}
}  // namespace

namespace platform {

DWORD BrowseTypeOf(const HostInfo& host) {
  if (host.type) return *host.type;
  const DWORD nt = SV_TYPE_WORKSTATION | SV_TYPE_SERVER | SV_TYPE_NT;
  if (EqualsNoCase(host.role, "server")) return nt | SV_TYPE_SERVER_NT;
  if (EqualsNoCase(host.role, "pdc")) return nt | SV_TYPE_SERVER_NT | SV_TYPE_DOMAIN_CTRL;
  if (EqualsNoCase(host.role, "bdc")) return nt | SV_TYPE_SERVER_NT | SV_TYPE_DOMAIN_BAKCTRL;
  return nt;
}

void ParseBrowseVersion(std::string_view text, DWORD& major, DWORD& minor) {
  major = minor = 0;
  auto part = [](std::string_view p) -> DWORD {
    std::string s(p);
    if (s.empty()) return 0;
    char* end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(s.c_str(), &end, 0);
    if (errno != 0 || !end || *end != '\0' || s[0] == '-' || s[0] == '+' || v > 0xFFFFFFFFull) return 0;
    return static_cast<DWORD>(v);
  };
  auto dot = text.find('.');
  major = part(text.substr(0, dot));
  if (dot != std::string_view::npos) minor = part(text.substr(dot + 1));
}

ServerEntry ServerEntryOf(const std::string& name, const HostInfo& host) {
  ServerEntry e;
  e.name = name;
  ParseBrowseVersion(host.version, e.versionMajor, e.versionMinor);
  e.type = BrowseTypeOf(host);
  e.comment = host.comment;
  return e;
}

size_t ServerInfo101Bytes(const ServerEntry& entry) {
  return sizeof(SERVER_INFO_101) +
         (WideText(entry.name).size() + 1 + WideText(entry.comment).size() + 1) * sizeof(WCHAR);
}

LPBYTE PackServerInfo101(const std::vector<ServerEntry>& entries, size_t* bytes) {
  std::vector<std::u16string> names, comments;
  size_t total = entries.size() * sizeof(SERVER_INFO_101);
  for (const auto& e : entries) {
    names.push_back(WideText(e.name));
    comments.push_back(WideText(e.comment));
    total += (names.back().size() + 1 + comments.back().size() + 1) * sizeof(WCHAR);
  }
  LPBYTE buffer = AllocateNetBuffer(total);
  if (!buffer) return nullptr;
  auto* info = reinterpret_cast<SERVER_INFO_101*>(buffer);
  auto* text = reinterpret_cast<WCHAR*>(buffer + entries.size() * sizeof(SERVER_INFO_101));
  auto place = [&text](const std::u16string& s) {
    WCHAR* at = text;
    std::memcpy(at, s.data(), s.size() * sizeof(WCHAR));
    at[s.size()] = 0;
    text += s.size() + 1;
    return at;
  };
  for (size_t i = 0; i < entries.size(); ++i) {
    info[i].sv101_platform_id = PLATFORM_ID_NT;
    info[i].sv101_name = place(names[i]);
    info[i].sv101_version_major = entries[i].versionMajor;
    info[i].sv101_version_minor = entries[i].versionMinor;
    info[i].sv101_type = entries[i].type;
    info[i].sv101_comment = place(comments[i]);
  }
  if (bytes) *bytes = total;
  return buffer;
}

}  // namespace platform

NET_API_STATUS NetServerEnum(LMCSTR servername, DWORD level, LPBYTE* bufptr, DWORD prefmaxlen,
                             LPDWORD entriesread, LPDWORD totalentries, DWORD servertype,
                             LMCSTR domain, LPDWORD resume_handle) {
  if (!bufptr || !entriesread || !totalentries) return ERROR_INVALID_PARAMETER;
  *bufptr = nullptr;
  *entriesread = *totalentries = 0;
  if (resume_handle) *resume_handle = 0;
  if (level != 101) return ERROR_INVALID_LEVEL;

  // The browse list comes from the named computer, or from this one.
  platform::ComputerImage server;
  const bool local = !servername || !servername[0];
  if (platform::ReachComputer(local ? nullptr : Utf8FromWide(servername).c_str(), server) != ERROR_SUCCESS)
    return local ? DWORD{ERROR_NO_BROWSER_SERVERS_FOUND} : DWORD{ERROR_BAD_NETPATH};
  const std::string wanted = domain && domain[0] ? Utf8FromWide(domain) : server.host.domain;

  std::vector<platform::ServerEntry> listed;
  for (const auto& c : platform::ListComputers()) {
    // A folder whose name no caller could reach is no computer of the list.
    if (!c.host.online || !platform::EqualsNoCase(c.host.domain, wanted) ||
        c.name.find('\\') != std::string::npos)
      continue;
    platform::ServerEntry e = platform::ServerEntryOf(c.name, c.host);
    if ((e.type & servertype) != 0) listed.push_back(std::move(e));
  }

  // As many whole entries as fit the preferred size, in order.
  size_t used = 0, fit = 0;
  for (; fit < listed.size(); ++fit) {
    size_t need = platform::ServerInfo101Bytes(listed[fit]);
    if (prefmaxlen != MAX_PREFERRED_LENGTH && used + need > prefmaxlen) break;
    used += need;
  }
  const size_t total = listed.size();
  listed.resize(fit);
  LPBYTE buffer = platform::PackServerInfo101(listed);
  if (!buffer) return ERROR_NOT_ENOUGH_MEMORY;
  *bufptr = buffer;
  *entriesread = static_cast<DWORD>(fit);
  *totalentries = static_cast<DWORD>(total);
  return fit == total ? DWORD{NERR_Success} : DWORD{ERROR_MORE_DATA};
}

NET_API_STATUS NetServerGetInfo(LMSTR servername, DWORD level, LPBYTE* bufptr) {
  if (!bufptr) return ERROR_INVALID_PARAMETER;
  *bufptr = nullptr;
  if (level != 101) return ERROR_INVALID_LEVEL;
  platform::ComputerImage computer;
  const bool local = !servername || !servername[0];
  if (platform::ReachComputer(local ? nullptr : Utf8FromWide(servername).c_str(), computer) != ERROR_SUCCESS)
    return ERROR_BAD_NETPATH;
  if (computer.host.busy > 0 && ++callsOfThisThread[computer.root] <= computer.host.busy)
    return RPC_S_SERVER_TOO_BUSY;
  LPBYTE buffer = platform::PackServerInfo101({platform::ServerEntryOf(computer.name, computer.host)});
  if (!buffer) return ERROR_NOT_ENOUGH_MEMORY;
  *bufptr = buffer;
  return NERR_Success;
}

NET_API_STATUS NetApiBufferFree(LPVOID buffer) {
  if (!buffer) return NERR_Success;
  {
    std::lock_guard lock(BufferMutex());
    if (LiveBuffers().erase(buffer) == 0) return ERROR_INVALID_PARAMETER;
  }
  std::free(buffer);
  return NERR_Success;
}

namespace platform::testing {
size_t LiveNetBufferCount() {
  std::lock_guard lock(BufferMutex());
  return LiveBuffers().size();
}
}  // namespace platform::testing
