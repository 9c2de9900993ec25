#include "gather/event_row.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <new>

#include "frame/computer_list.h"
#include "platform/accounts/accounts.h"

namespace {

const uint8_t* Bytes(const EVENTLOGRECORD* r) { return reinterpret_cast<const uint8_t*>(r); }

// The record's usable length: at least its fixed part, and without the trailing length copy.
size_t End(const EVENTLOGRECORD* r) { return r->Length >= sizeof(EVENTLOGRECORD) + 4 ? r->Length - 4 : sizeof(EVENTLOGRECORD); }

// The NUL-terminated text at `offset`, ending at the record's end at the latest; `next` is the
// offset after its terminator.
std::string TextAt(const EVENTLOGRECORD* r, size_t offset, size_t& next) {
  size_t end = End(r);
  if (offset >= end) {
    next = end;
    return {};
  }
  const char* p = reinterpret_cast<const char*>(Bytes(r) + offset);
  size_t n = strnlen(p, end - offset);
  next = offset + n + 1;
  return std::string(p, n);
}

// A file named by a computer's registry is a file of that computer: a drive path (inside its
// image) or an administrative share. Any other name would be taken as a path of the gathering
// machine and open one of its files, so it counts as a file that does not exist.
bool NamesComputerFile(const std::string& path) {
  auto sep = [](char c) { return c == '\\' || c == '/'; };
  if (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' && sep(path[2]))
    return true;
  return path.size() >= 2 && path[0] == '\\' && sep(path[1]);
}

HMODULE LoadComputerFile(const std::string& path) {
  if (!NamesComputerFile(path)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  return LoadLibraryExA(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES | LOAD_LIBRARY_AS_DATAFILE);
}

// Loads a message file as a data file; the guard frees it on every path.
class Module {
 public:
  explicit Module(const std::string& path) : handle_(LoadComputerFile(path)) {}
  ~Module() {
    if (handle_) FreeLibrary(handle_);
  }
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;
  HMODULE get() const { return handle_; }

 private:
  HMODULE handle_;
};

// The message's text as the platform allocates it, or false.
bool AllocatedMessage(HMODULE module, DWORD id, std::string& text) {
  char* buffer = nullptr;
  DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_HMODULE,
                           module, id, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&buffer), 0,
                           nullptr);
  if (n == 0) return false;
  text.assign(buffer, n);
  LocalFree(buffer);
  return true;
}

// The decimal number at `at`, saturating at 2^32-1; `end` is the offset after its digits.
DWORD DigitsAt(const std::string& s, size_t at, size_t& end) {
  unsigned long long n = 0;
  end = at;
  while (end < s.size() && s[end] >= '0' && s[end] <= '9') {
    n = n * 10 + static_cast<unsigned>(s[end] - '0');
    if (n > 0xFFFFFFFFull) n = 0xFFFFFFFFull;
    ++end;
  }
  return static_cast<DWORD>(n);
}

Description Own(const std::string& text) {
  Description d;
  try {
    d.text.reset(new char[text.size() + 1]);
    std::memcpy(d.text.get(), text.c_str(), text.size() + 1);
    d.length = static_cast<DWORD>(text.size());
  } catch (const std::bad_alloc&) {
    d.text.reset();
    d.length = 0;
  }
  return d;
}

}  // namespace

std::string RecordSourceName(const EVENTLOGRECORD* record) {
  size_t next;
  return TextAt(record, sizeof(EVENTLOGRECORD), next);
}

std::string RecordComputerName(const EVENTLOGRECORD* record) {
  size_t next;
  TextAt(record, sizeof(EVENTLOGRECORD), next);
  return TextAt(record, next, next);
}

std::vector<std::string> RecordStrings(const EVENTLOGRECORD* record) {
  std::vector<std::string> strings;
  size_t at = record->StringOffset;
  for (WORD i = 0; i < record->NumStrings; ++i) strings.push_back(TextAt(record, at, at));
  return strings;
}

std::string EventTypeName(WORD eventType) {
  switch (eventType) {
    case EVENTLOG_ERROR_TYPE: return "Error";
    case EVENTLOG_WARNING_TYPE: return "Warning";
    case EVENTLOG_INFORMATION_TYPE: return "Information";
    case EVENTLOG_AUDIT_SUCCESS: return "Success Audit";
    case EVENTLOG_AUDIT_FAILURE: return "Failure Audit";
    default: return "Unknown type " + std::to_string(eventType);
  }
}

std::string LookupUserName(const char* computer, const EVENTLOGRECORD* record) {
  if (record->UserSidLength == 0) return {};
  size_t end = End(record);
  if (record->UserSidOffset < sizeof(EVENTLOGRECORD) || record->UserSidOffset >= end ||
      record->UserSidLength > end - record->UserSidOffset)
    return {};
  const uint8_t* sid = Bytes(record) + record->UserSidOffset;
  if (platform::SidLength(sid, record->UserSidLength) == 0) return {};
  char name[255], domain[255];
  DWORD nameSize = sizeof name, domainSize = sizeof domain;
  SID_NAME_USE use;
  if (!LookupAccountSidA(computer, const_cast<uint8_t*>(sid), name, &nameSize, domain, &domainSize, &use)) return {};
  return name;
}

std::string FormatCategory(const MessageFileResolver* resolver, int32_t sourceIndex, const EVENTLOGRECORD* record) {
  FileList files;
  if (!resolver || !resolver->GetCategoryMessageFiles(sourceIndex, files)) return "Not found.";
  // The text comes in a buffer of its own size and is cut to the column afterwards: a fixed
  // 255-byte buffer would refuse a long text (122) and the row would say "None" instead.
  std::string text;
  bool found = false;
  for (const std::string& path : files.paths) {
    Module module(path);
    if (module.get() && AllocatedMessage(module.get(), record->EventCategory, text)) {
      found = true;
      break;
    }
  }
  if (!found || text.empty()) return "None";
  auto lineEnd = [](char c) { return c == '\r' || c == '\n'; };
  size_t length = text.size();
  if (length >= 2 && lineEnd(text[length - 2])) length -= 2;
  else if (lineEnd(text[length - 1])) length -= 1;
  text.resize(length);
  return std::string(CutText(text, 254));
}

bool SubstituteInserts(std::string& text, const std::vector<std::string>& strings) {
  std::string result;
  size_t segment = 0, i = 0;
  bool replaced = false;
  while (i < text.size()) {
    if (text[i] == '%' && i + 1 < text.size()) {
      size_t end;
      DWORD n = DigitsAt(text, i + 1, end);
      if (n >= 1 && n <= strings.size()) {
        result.append(text, segment, i - segment);
        result += strings[n - 1];
        i = end;
        segment = i;
        replaced = true;
        continue;
      }
    }
    i += text[i] == '%' ? 2 : 1;
  }
  if (!replaced) return false;
  result.append(text, segment, std::string::npos);
  text.swap(result);
  return true;
}

void ExpandParameters(std::string& text, HMODULE module) {
  size_t p = 0;
  for (int done = 0; done < kMaxParameterExpansions; ++done) {
    size_t at = text.find("%%", p);
    if (at == std::string::npos) return;
    size_t k = at + 2;
    if (k >= text.size()) return;
    size_t end;
    DWORD n = DigitsAt(text, k, end);
    if (n == 0) return;
    std::string message;
    if (!AllocatedMessage(module, n, message)) return;
    text.replace(at, end - at, message);
    p = k;
  }
}

std::string FallbackDescription(DWORD eventId, const char* sourceName, const std::vector<std::string>& strings) {
  char head[64];
  unsigned long id = eventId & 0xFFFF;
  if (strings.empty()) {
    std::snprintf(head, sizeof head, "The description for Event ID ( %lu ) in Source ( ", id);
    return head + std::string(sourceName) + " ) could not be found.";
  }
  std::snprintf(head, sizeof head, "The description for Event ID ( %lu ) in Source( ", id);
  std::string text = head + std::string(sourceName) +
                     " ) could not be found. It contains the following insertion string(s): ";
  for (const auto& s : strings) text += s + " ";
  return text;
}

Description FormatDescription(const MessageFileResolver* resolver, const char* sourceName, int32_t sourceIndex,
                              const EVENTLOGRECORD* record) {
  try {
    std::vector<std::string> strings;
    if (record->NumStrings > 0) {
      strings = RecordStrings(record);
      FileList parameters;
      if (resolver && resolver->GetParameterMessageFiles(sourceIndex, parameters) && !parameters.paths.empty()) {
        Module module(parameters.paths.front());
        if (module.get())
          for (auto& s : strings) ExpandParameters(s, module.get());
      }
    }
    FileList files;
    std::string text;
    bool found = false;
    if (resolver && resolver->GetEventMessageFiles(sourceIndex, files)) {
      for (const std::string& path : files.paths) {
        Module module(path);
        if (module.get() && AllocatedMessage(module.get(), record->EventID, text)) {
          found = true;
          break;
        }
      }
    }
    if (!found) return Own(FallbackDescription(record->EventID, sourceName, strings));
    if (!strings.empty()) SubstituteInserts(text, strings);
    return Own(text);
  } catch (const std::bad_alloc&) {
    return Description{};
  }
}

BuiltEventRow BuildEventRow(const EventLogReader& reader, const EVENTLOGRECORD* record) {
  BuiltEventRow built;
  EventRow& row = built.row;
  CopyText(row.workstation, sizeof row.workstation, reader.computerName);
  row.eventDate = FormatEventTime(record->TimeGenerated);
  row.recordDate = FormatEventTime(record->TimeWritten);
  std::string source = RecordSourceName(record);
  CopyText(row.source, sizeof row.source, source);
  CopyText(row.computer, sizeof row.computer, RecordComputerName(record));
  CopyText(row.userName, sizeof row.userName, LookupUserName(reader.computerName, record));
  CopyText(row.type, sizeof row.type, EventTypeName(record->EventType));
  row.eventID = record->EventID & 0xFFFF;
  const MessageFileResolver* resolver = reader.resolver.get();
  int32_t index = -1;
  if (resolver) resolver->FindSource(source.c_str(), index);
  CopyText(row.category, sizeof row.category, FormatCategory(resolver, index, record));
  Description description = FormatDescription(resolver, source.c_str(), index, record);
  if (!description.text) description.text.reset(new (std::nothrow) char[1]{});
  built.description = std::move(description.text);
  row.description = built.description ? built.description.get() : "";
  row.descriptionLength = built.description ? description.length : 0;
  size_t end = End(record);
  if (record->DataLength > 0 && record->DataOffset >= sizeof(EVENTLOGRECORD) && record->DataOffset <= end &&
      record->DataLength <= end - record->DataOffset) {
    built.data.reset(new (std::nothrow) BYTE[record->DataLength]);
    if (built.data) {
      std::memcpy(built.data.get(), Bytes(record) + record->DataOffset, record->DataLength);
      row.data = built.data.get();
      row.dataLength = record->DataLength;
    }
  }
  return built;
}
