#include "platform/messages/message_module.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <tuple>
#include <vector>

#include "platform/core/network.h"
#include "platform/core/paths.h"
#include "platform/core/regular_file.h"
#include "platform/messages/pe_resources.h"
#include "platform/registry/registry.h"
#include "platform/core/system_messages.h"
#include "platform/core/text.h"

namespace platform {
namespace {

struct ParsedModule {
  MessageTables tables;
};

class MessageModule : public HandleObject {
 public:
  explicit MessageModule(std::shared_ptr<const ParsedModule> p) : parsed(std::move(p)) {}
  std::shared_ptr<const ParsedModule> parsed;
};

// File identity: the same file unchanged since it was parsed.
using FileKey = std::tuple<dev_t, ino_t, off_t, long long, long>;

struct ModuleCache {
  static constexpr size_t kLimit = 64;
  std::mutex lock;
  bool enabled = true;
  unsigned long long clock = 0;
  std::map<FileKey, std::pair<std::shared_ptr<const ParsedModule>, unsigned long long>> modules;

  std::shared_ptr<const ParsedModule> Find(const FileKey& key) {
    std::lock_guard<std::mutex> guard(lock);
    if (!enabled) return nullptr;
    auto it = modules.find(key);
    if (it == modules.end()) return nullptr;
    it->second.second = ++clock;
    return it->second.first;
  }
  void Keep(const FileKey& key, std::shared_ptr<const ParsedModule> parsed) {
    std::lock_guard<std::mutex> guard(lock);
    if (!enabled) return;
    if (modules.size() >= kLimit) {
      auto oldest = std::min_element(modules.begin(), modules.end(),
                                     [](const auto& a, const auto& b) { return a.second.second < b.second.second; });
      modules.erase(oldest);
    }
    modules[key] = {std::move(parsed), ++clock};
  }
};

ModuleCache& Cache() {
  static ModuleCache cache;
  return cache;
}

bool cacheEnabledForResolutions() {
  std::lock_guard<std::mutex> guard(Cache().lock);
  return Cache().enabled;
}

// Resolving an image path (the computer's host.ini, a case-blind walk of every folder, the
// links check) costs far more than reading a cached module, and the same few files are loaded
// for every record. A resolution is reused while the computer's host.ini is unchanged and the
// file opened is still the very file (device, inode and change time) that was resolved inside
// the image.
struct Resolution {
  std::string native;
  std::string hostFile;  // empty for a native path
  struct timespec hostTime = {};
  off_t hostSize = 0;
  dev_t dev = 0;
  ino_t ino = 0;
  struct timespec changed = {};  // an inode number can come back for a new file; its change time does not
};

struct ResolutionCache {
  static constexpr size_t kLimit = 256;
  std::mutex lock;
  std::map<std::string, Resolution> entries;
};

ResolutionCache& Resolutions() {
  static ResolutionCache cache;
  return cache;
}

bool SameTime(const struct timespec& a, const struct timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

// The computer folder whose host.ini governs `path` ("\\SRV\..." or "X:\..."), or empty.
std::string GoverningComputer(const std::string& path) {
  bool share = path.size() >= 2 && path[0] == '\\' && (path[1] == '\\' || path[1] == '/');
  bool drive = path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
  if (!share && !drive) return {};
  ComputerImage computer;
  std::string name;
  if (share) name = path.substr(2, path.find_first_of("\\/", 2) - 2);
  if (ReachComputer(share ? name.c_str() : nullptr, computer) != ERROR_SUCCESS) return {};
  return computer.root + "/host.ini";
}

// Opens a module file for reading; anything but a regular file is refused as a folder is.
int OpenModuleFile(const std::string& native, int flags, DWORD& error) {
  int fd = OpenRegularFile(native, O_RDONLY | flags);
  if (fd < 0) error = errno == kNotRegularFile ? ERROR_ACCESS_DENIED : Win32FromErrno(errno);
  return fd;
}

// Opens the file `path` names, through the resolution cache; -1 with the error on failure.
int OpenResolved(const std::string& path, DWORD& error) {
  const std::string key = NetworkFolder() + '\n' + LocalComputerName() + '\n' + path;
  if (cacheEnabledForResolutions()) {
    Resolution r;
    bool have = false;
    {
      std::lock_guard<std::mutex> guard(Resolutions().lock);
      auto it = Resolutions().entries.find(key);
      if (it != Resolutions().entries.end()) {
        r = it->second;
        have = true;
      }
    }
    struct stat hs;
    if (have && (r.hostFile.empty() || (::stat(r.hostFile.c_str(), &hs) == 0 && SameTime(hs.st_mtim, r.hostTime) &&
                                        hs.st_size == r.hostSize))) {
      // Never through a link: a link put in the file's place is resolved (and judged) afresh.
      DWORD ignored = ERROR_SUCCESS;
      int fd = OpenModuleFile(r.native, O_NOFOLLOW, ignored);
      struct stat st;
      if (fd >= 0 && ::fstat(fd, &st) == 0 && st.st_dev == r.dev && st.st_ino == r.ino &&
          SameTime(st.st_ctim, r.changed))
        return fd;
      if (fd >= 0) ::close(fd);
    }
  }
  std::string native;
  if (DWORD rc = ResolvePath(path, native); rc != ERROR_SUCCESS) {
    error = rc;
    return -1;
  }
  int fd = OpenModuleFile(native, 0, error);
  if (fd < 0) return -1;
  struct stat st;
  Resolution r;
  r.hostFile = GoverningComputer(path);
  struct stat hs;
  if (cacheEnabledForResolutions() && ::fstat(fd, &st) == 0 &&
      (r.hostFile.empty() || ::stat(r.hostFile.c_str(), &hs) == 0)) {
    r.native = native;
    r.dev = st.st_dev;
    r.ino = st.st_ino;
    r.changed = st.st_ctim;
    if (!r.hostFile.empty()) {
      r.hostTime = hs.st_mtim;
      r.hostSize = hs.st_size;
    }
    std::lock_guard<std::mutex> guard(Resolutions().lock);
    if (Resolutions().entries.size() >= ResolutionCache::kLimit) Resolutions().entries.clear();
    Resolutions().entries[key] = r;
  }
  return fd;
}

// The parse of the file `path` named when it was last resolved, if that file is still the very
// same and unchanged and the computer's host.ini too: two stat calls instead of opening the file,
// for the few message files that every record loads again.
std::shared_ptr<const ParsedModule> StillCached(const std::string& path) {
  if (!cacheEnabledForResolutions()) return nullptr;
  Resolution r;
  {
    std::lock_guard<std::mutex> guard(Resolutions().lock);
    auto it = Resolutions().entries.find(NetworkFolder() + '\n' + LocalComputerName() + '\n' + path);
    if (it == Resolutions().entries.end()) return nullptr;
    r = it->second;
  }
  struct stat hs, st;
  if (!r.hostFile.empty() &&
      (::stat(r.hostFile.c_str(), &hs) != 0 || !SameTime(hs.st_mtim, r.hostTime) || hs.st_size != r.hostSize))
    return nullptr;
  // lstat: a link put in the file's place is no longer the file that was resolved.
  if (::lstat(r.native.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_dev != r.dev || st.st_ino != r.ino ||
      !SameTime(st.st_ctim, r.changed))
    return nullptr;
  return Cache().Find(FileKey{st.st_dev, st.st_ino, st.st_size, static_cast<long long>(st.st_mtim.tv_sec), st.st_mtim.tv_nsec});
}

std::mutex languageLock;
LANGID defaultLanguage = 0;  // 0: the local image's language

DWORD ParseFile(int fd, size_t size, std::shared_ptr<const ParsedModule>& out) {
  // Read, not mapped: a file that another program shortens meanwhile must not fault us.
  constexpr size_t kLargest = 256u << 20;
  if (size == 0 || size > kLargest) return ERROR_BAD_EXE_FORMAT;
  std::string bytes;
  if (int e = ReadToEnd(fd, kLargest, bytes)) return e == EFBIG ? ERROR_BAD_EXE_FORMAT : Win32FromErrno(e);
  auto parsed = std::make_shared<ParsedModule>();
  DWORD rc = ReadMessageTables(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), parsed->tables);
  if (rc == ERROR_SUCCESS) out = std::move(parsed);
  return rc;
}

// The languages to try for `language`, in order (the loader's search: the id, its primary
// language, neutral; for a neutral request also the user's and the system's languages and US
// English). The caller falls back to the table's first language after these.
std::vector<LANGID> LanguageOrder(LANGID language) {
  std::vector<LANGID> order{language, MAKELANGID(PRIMARYLANGID(language), SUBLANG_NEUTRAL), 0};
  if (PRIMARYLANGID(language) == LANG_NEUTRAL) {
    LANGID user = DefaultLanguage();
    if (SUBLANGID(language) != SUBLANG_SYS_DEFAULT) {
      order.push_back(user);  // thread locale
      order.push_back(user);  // user locale
      order.push_back(MAKELANGID(PRIMARYLANGID(user), SUBLANG_NEUTRAL));
    }
    order.push_back(user);  // system locale
    order.push_back(MAKELANGID(PRIMARYLANGID(user), SUBLANG_NEUTRAL));
    order.push_back(0x0409);
  }
  return order;
}

const std::vector<uint8_t>* ChooseTable(const MessageTables& tables, LANGID language, DWORD& error) {
  // A neutral request ends at the image's first language when nothing earlier matches, so a
  // table of one language is the answer whatever the user's language is.
  if (PRIMARYLANGID(language) == LANG_NEUTRAL && tables.languages.size() == 1) return &tables.languages.front().second;
  for (LANGID want : LanguageOrder(language))
    for (const auto& [id, table] : tables.languages)
      if (id == want) return &table;
  if (PRIMARYLANGID(language) == LANG_NEUTRAL && !tables.languages.empty()) return &tables.languages.front().second;
  error = ERROR_RESOURCE_LANG_NOT_FOUND;
  return nullptr;
}

DWORD ModuleText(const ParsedModule& module, DWORD id, LANGID language, std::string& text) {
  if (module.tables.state != ERROR_SUCCESS) return module.tables.state;
  if (module.tables.languages.empty()) return ERROR_RESOURCE_LANG_NOT_FOUND;
  DWORD error = ERROR_SUCCESS;
  const std::vector<uint8_t>* table = ChooseTable(module.tables, language, error);
  if (!table) return error;
  MessageEntry entry;
  if (DWORD rc = FindMessageEntry(*table, id, entry); rc != ERROR_SUCCESS) return rc;
  text = entry.unicode ? Utf16LeToUtf8(entry.text, entry.bytes)
                       : Utf8FromCp1252(std::string_view(reinterpret_cast<const char*>(entry.text), entry.bytes));
  return ERROR_SUCCESS;
}


// 0x80..0x9F of code page 1252; the five holes map to the C1 control of the same value, as
// Windows' own conversion does.
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// One insert "%n" or "%n!fmt!" with its argument array.
DWORD FormatInsert(unsigned n, std::string_view spec, const DWORD_PTR* args, std::string& out) {
  if (!args) return ERROR_INVALID_PARAMETER;
  if (spec.empty()) spec = "s";
  char conv = spec.back();
  std::string head;  // flags, width, precision, with '*' taken from the next arguments
  unsigned next = n - 1;
  std::string_view mods = spec.substr(0, spec.size() - 1);
  for (size_t i = 0; i < mods.size(); ++i) {
    char c = mods[i];
    if (c == '*') {
      head += std::to_string(static_cast<int>(static_cast<long long>(args[next++])));
    } else if (c == 'I') {
      // Size prefixes I64, I32 and I: their digits are no width.
      if (mods.substr(i + 1, 2) == "64" || mods.substr(i + 1, 2) == "32") i += 2;
    } else if (std::strchr("-+ #0123456789.", c)) {
      head.push_back(c);
    } else if (!std::strchr("lhLw", c)) {
      return ERROR_INVALID_PARAMETER;
    }
  }
  if (head.size() > 32) return ERROR_INVALID_PARAMETER;
  DWORD_PTR value = args[next];
  std::string format = "%" + head;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  // The text in full, however wide: the buffer is sized from the length snprintf reports.
  auto print = [&](auto argument) -> DWORD {
    int len = std::snprintf(nullptr, 0, format.c_str(), argument);
    if (len < 0) return ERROR_INVALID_PARAMETER;
    size_t at = out.size();
    try {
      out.resize(at + static_cast<size_t>(len) + 1);
    } catch (const std::bad_alloc&) {
      out.resize(at);
      return ERROR_NOT_ENOUGH_MEMORY;
    }
    std::snprintf(out.data() + at, static_cast<size_t>(len) + 1, format.c_str(), argument);
    out.resize(at + static_cast<size_t>(len));
    return ERROR_SUCCESS;
  };
  switch (conv) {
    case 's': {
      const char* s = reinterpret_cast<const char*>(value);
      format += "s";
      return print(s ? s : "");
    }
    case 'c':
      format += "c";
      return print(static_cast<int>(value));
    case 'd':
    case 'i':
      format += "lld";
      return print(static_cast<long long>(static_cast<long>(value)));
    case 'u':
    case 'x':
    case 'X':
    case 'o':
      format += "ll";
      format.push_back(conv);
      return print(static_cast<unsigned long long>(value));
    default:
      return ERROR_INVALID_PARAMETER;
  }
#pragma GCC diagnostic pop
}

DWORD Deliver(const std::string& text, DWORD flags, LPSTR buffer, DWORD size) {
  if (text.size() >= UINT32_MAX) return SetLastError(ERROR_NOT_ENOUGH_MEMORY), 0;
  DWORD length = static_cast<DWORD>(text.size());
  if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    if (!buffer) return SetLastError(ERROR_INVALID_PARAMETER), 0;
    size_t bytes = std::max<size_t>(text.size() + 1, size);
    char* mem = static_cast<char*>(LocalAlloc(LMEM_ZEROINIT, bytes));
    if (!mem) return SetLastError(ERROR_NOT_ENOUGH_MEMORY), 0;
    std::memcpy(mem, text.data(), text.size());
    *reinterpret_cast<LPSTR*>(buffer) = mem;
    return length;
  }
  if (!buffer) return SetLastError(ERROR_INVALID_PARAMETER), 0;
  if (text.size() + 1 > size) return SetLastError(ERROR_INSUFFICIENT_BUFFER), 0;
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  return length;
}

}  // namespace

void SetDefaultLanguage(LANGID language) {
  std::lock_guard<std::mutex> guard(languageLock);
  defaultLanguage = language;
}

LANGID DefaultLanguage() {
  std::lock_guard<std::mutex> guard(languageLock);
  if (defaultLanguage != 0) return defaultLanguage;
  // The gathering machine's language: its own image's SYSTEM hive names it (a hex text such as
  // "0409"); read once for each network folder and computer name.
  static std::string readFor;
  static LANGID read = 0x0409;
  const std::string key = NetworkFolder() + '\n' + LocalComputerName();
  if (key == readFor) return read;
  read = 0x0409;
  ComputerImage local;
  RegistryValue value;
  if (ReachComputer(nullptr, local) == ERROR_SUCCESS &&
      ReadImageValue(local, "SYSTEM\\CurrentControlSet\\Control\\Nls\\Language", "Default", value) ==
          ERROR_SUCCESS) {
    std::string text = ValueText(value);
    char* end = nullptr;
    unsigned long id = std::strtoul(text.c_str(), &end, 16);
    if (!text.empty() && end && *end == '\0' && id > 0 && id <= 0xFFFF) read = static_cast<LANGID>(id);
  }
  readFor = key;
  return read;
}

std::string Utf8FromCp1252(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    if (c < 0x80) out.push_back(static_cast<char>(c));
    else AppendUtf8(out, c < 0xA0 ? kCp1252High[c - 0x80] : c);
  }
  return out;
}


DWORD ExpandMessageText(std::string_view text, DWORD flags, const DWORD_PTR* arguments, std::string& out) {
  out.clear();
  const bool ignore = flags & FORMAT_MESSAGE_IGNORE_INSERTS;
  const bool width = (flags & FORMAT_MESSAGE_MAX_WIDTH_MASK) != 0;
  size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      // A line end of the text, whatever its form, comes out as CR LF.
      i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
      out += width ? " " : "\r\n";
      continue;
    }
    if (c != '%') {
      out.push_back(c);
      ++i;
      continue;
    }
    if (i + 1 >= text.size()) return ERROR_INVALID_PARAMETER;
    char e = text[i + 1];
    if (e >= '1' && e <= '9') {
      size_t j = i + 2;
      unsigned n = static_cast<unsigned>(e - '0');
      if (j < text.size() && text[j] >= '0' && text[j] <= '9') n = n * 10 + static_cast<unsigned>(text[j++] - '0');
      std::string_view spec;
      if (j < text.size() && text[j] == '!') {
        size_t end = text.find('!', j + 1);
        if (end != std::string_view::npos) {
          spec = text.substr(j + 1, end - j - 1);
          j = end + 1;
        } else if (!ignore) {
          return ERROR_INVALID_PARAMETER;  // an unclosed format; copied as it is when inserts are ignored
        }
      }
      if (ignore) {
        out.append(text.substr(i, j - i));
      } else if (DWORD rc = FormatInsert(n, spec, arguments, out); rc != ERROR_SUCCESS) {
        return rc;
      }
      i = j;
      continue;
    }
    switch (e) {
      case '0':
        i = text.size();  // the rest of the text is not output
        continue;
      case 'n':
        out += "\r\n";
        break;
      case 'r':
        out += "\r";
        break;
      case 't':
        out += "\t";
        break;
      default:
        if (ignore) out.push_back('%');
        out.push_back(e);
        break;
    }
    i += 2;
  }
  return out.empty() ? ERROR_NO_WORK_DONE : ERROR_SUCCESS;
}

void SetModuleCacheEnabled(bool on) {
  {
    std::lock_guard<std::mutex> guard(Cache().lock);
    Cache().enabled = on;
    if (!on) Cache().modules.clear();
  }
  std::lock_guard<std::mutex> guard(Resolutions().lock);
  Resolutions().entries.clear();
}

void ClearModuleCache() {
  {
    std::lock_guard<std::mutex> guard(Cache().lock);
    Cache().modules.clear();
  }
  std::lock_guard<std::mutex> guard(Resolutions().lock);
  Resolutions().entries.clear();
}

std::size_t CachedModuleCount() {
  std::lock_guard<std::mutex> guard(Cache().lock);
  return Cache().modules.size();
}

}  // namespace platform

HMODULE LoadLibraryExA(LPCSTR fileName, HANDLE file, DWORD flags) {
  if (!fileName || file) return SetLastError(ERROR_INVALID_PARAMETER), nullptr;
  if (!(flags & (LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE | LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE)))
    return SetLastError(ERROR_NOT_SUPPORTED), nullptr;
  if (auto parsed = platform::StillCached(fileName))
    return static_cast<HMODULE>(platform::RegisterHandle(std::make_shared<platform::MessageModule>(parsed)));
  DWORD error = ERROR_SUCCESS;
  int fd = platform::OpenResolved(fileName, error);
  if (fd < 0) return SetLastError(error), nullptr;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return SetLastError(ERROR_ACCESS_DENIED), nullptr;
  }
  platform::FileKey key{st.st_dev, st.st_ino, st.st_size, static_cast<long long>(st.st_mtim.tv_sec),
                        st.st_mtim.tv_nsec};
  std::shared_ptr<const platform::ParsedModule> parsed = platform::Cache().Find(key);
  if (!parsed) {
    DWORD rc = platform::ParseFile(fd, static_cast<size_t>(st.st_size), parsed);
    if (rc != ERROR_SUCCESS) {
      ::close(fd);
      return SetLastError(rc), nullptr;
    }
    platform::Cache().Keep(key, parsed);
  }
  ::close(fd);
  return static_cast<HMODULE>(platform::RegisterHandle(std::make_shared<platform::MessageModule>(parsed)));
}

BOOL FreeLibrary(HMODULE module) {
  if (!platform::ReleaseHandle<platform::MessageModule>(module)) return SetLastError(ERROR_INVALID_HANDLE), FALSE;
  return TRUE;
}

DWORD FormatMessageA(DWORD flags, const void* source, DWORD messageId, DWORD languageId, LPSTR buffer, DWORD size,
                     va_list* arguments) {
  // A va_list is not taken: its inserts fail as inserts without arguments do.
  const DWORD_PTR* args =
      (flags & FORMAT_MESSAGE_ARGUMENT_ARRAY) ? reinterpret_cast<const DWORD_PTR*>(arguments) : nullptr;
  if (languageId > 0xFFFF) return SetLastError(ERROR_INVALID_PARAMETER), 0;
  std::string text;
  if (flags & FORMAT_MESSAGE_FROM_STRING) {
    if (!source) return SetLastError(ERROR_INVALID_PARAMETER), 0;
    text = static_cast<const char*>(source);
  } else if (flags & (FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM)) {
    DWORD rc = ERROR_RESOURCE_TYPE_NOT_FOUND;  // the calling program has no message table
    if ((flags & FORMAT_MESSAGE_FROM_HMODULE) && source) {
      auto module = platform::LookupHandle<platform::MessageModule>(source);
      if (!module) return SetLastError(ERROR_INVALID_HANDLE), 0;
      rc = platform::ModuleText(*module->parsed, messageId, static_cast<LANGID>(languageId), text);
    }
    if (rc != ERROR_SUCCESS && (flags & FORMAT_MESSAGE_FROM_SYSTEM)) {
      rc = platform::SystemMessageText(messageId, text) ? ERROR_SUCCESS : ERROR_MR_MID_NOT_FOUND;
    }
    if (rc != ERROR_SUCCESS) return SetLastError(rc), 0;
  } else {
    return SetLastError(ERROR_INVALID_PARAMETER), 0;
  }
  std::string out;
  if (DWORD rc = platform::ExpandMessageText(text, flags, args, out); rc != ERROR_SUCCESS) return SetLastError(rc), 0;
  return platform::Deliver(out, flags, buffer, size);
}

HLOCAL LocalAlloc(UINT flags, std::size_t bytes) {
  void* p = (flags & LMEM_ZEROINIT) ? std::calloc(bytes ? bytes : 1, 1) : std::malloc(bytes ? bytes : 1);
  if (!p) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return p;
}

HLOCAL LocalFree(HLOCAL memory) {
  std::free(memory);
  return nullptr;
}
