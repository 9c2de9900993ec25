#include "tools/hostkit/lab_description.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <set>
#include <type_traits>

#include "platform/core/paths.h"
#include "tools/hostkit/event_fields.h"

namespace hostkit {
namespace {

const char* const kLogs[] = {"System", "Security", "Application"};

std::string Trim(std::string_view s) {
  size_t a = 0, b = s.size();
  while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
  while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
  return std::string(s.substr(a, b - a));
}

// Pieces of `text` between `separator`s, each trimmed; empty pieces are dropped.
std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    size_t end = text.find(separator, start);
    std::string piece = Trim(std::string_view(text).substr(start, end == std::string::npos ? end : end - start));
    if (!piece.empty()) out.push_back(piece);
    if (end == std::string::npos) return out;
    start = end + 1;
  }
}

bool StandardLog(std::string& name) {
  for (const char* log : kLogs)
    if (platform::EqualsNoCase(log, name)) {
      name = log;
      return true;
    }
  return false;
}

bool ComputerName(const std::string& name) {
  if (name.empty() || name.size() > 15 || name == "." || name == "..") return false;
  for (char c : name)
    if (static_cast<unsigned char>(c) < 0x21 || std::string_view("\\/:*?\"<>|,;=+[]{}").find(c) != std::string_view::npos)
      return false;
  return true;
}

bool Flag(const std::string& value, bool& out) {
  if (value == "true" || value == "yes" || value == "1") out = true;
  else if (value == "false" || value == "no" || value == "0") out = false;
  else return false;
  return true;
}

// "2025-11-24 07:30:00", read as UTC.
bool Time(const std::string& value, DWORD& out) {
  std::tm tm{};
  char rest = 0;
  if (std::sscanf(value.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour,
                  &tm.tm_min, &tm.tm_sec, &rest) != 6)
    return false;
  if (tm.tm_year < 1970 || tm.tm_year > 2105 || tm.tm_mon < 1 || tm.tm_mon > 12 || tm.tm_mday < 1 || tm.tm_mday > 31 ||
      tm.tm_hour > 23 || tm.tm_min > 59 || tm.tm_sec > 59)
    return false;
  tm.tm_year -= 1900;
  tm.tm_mon -= 1;
  const long long t = ::timegm(&tm);
  if (t < 0 || t > 0xFFFFFFFFll) return false;
  out = static_cast<DWORD>(t);
  return true;
}

// "domain:500", "local:500", "string:1" or an "S-1-..." SID.
bool User(const std::string& value) {
  std::vector<uint8_t> sid;
  uint64_t n = 0;
  for (const char* prefix : {"domain:", "local:"}) {
    std::string p = prefix;
    if (value.rfind(p, 0) == 0) return ParseNumber(value.substr(p.size()), 0xFFFFFFFFu, n);
  }
  if (value.rfind("string:", 0) == 0) return ParseNumber(value.substr(7), 64, n) && n > 0;
  return ParseSid(value, sid);
}

class Parser {
 public:
  explicit Parser(LabDescription& out) : lab_(out) {}

  bool Line(std::string_view raw, int number, std::string& error) {
    line_ = number;
    std::string text = Trim(raw);
    if (text.empty() || text[0] == '#' || text[0] == ';') return true;
    if (text[0] == '[') return OpenSection(text, error);
    if (section_ == Kind::Words) {
      if (words_->size() >= kMaxLabEntries) return Fail(error, "too many words in one list");
      words_->push_back(text);
      return true;
    }
    size_t equals = text.find('=');
    if (equals == std::string::npos) return Fail(error, "expected \"key = value\"");
    return Value(Trim(std::string_view(text).substr(0, equals)), Trim(std::string_view(text).substr(equals + 1)), error);
  }

  // What only the whole text can tell: every name an entry uses is declared.
  bool Check(std::string& error) {
    std::set<std::string> messages;
    for (const auto& m : lab_.messages) messages.insert(m.name);
    for (const auto& s : lab_.sources) {
      for (const auto* list : {&s.eventFiles, &s.categoryFiles, &s.parameterFiles})
        for (const auto& file : *list)
          if (!messages.count(file)) return Refuse(error, "source \"" + s.name + "\" names undeclared messages \"" + file + "\"");
    }
    for (const auto& e : lab_.events) {
      bool known = false;
      for (const auto& s : lab_.sources) known = known || (s.log == e.log && s.name == e.source);
      if (!known) return Refuse(error, "an event of " + e.log + " names the undeclared source \"" + e.source + "\"");
      for (const auto& text : e.strings) {
        bool listed = true;
        ExpandLabString(text, "", "", [&](const std::string& list, std::string&) {
          listed = listed && lab_.words.count(list) != 0;
          return true;
        });
        if (!listed) return Refuse(error, "an event of " + e.log + " draws from an undeclared word list: " + text);
      }
      uint64_t n = 0;
      if (e.user.rfind("string:", 0) == 0 && ParseNumber(e.user.substr(7), 64, n) && n > e.strings.size())
        return Refuse(error, "an event of " + e.log + " takes its user from string " + e.user.substr(7) + ", which it lacks");
    }
    for (const auto& c : lab_.computers)
      for (const auto& [log, count] : c.events) {
        bool kinds = false;
        for (const auto& e : lab_.events) kinds = kinds || e.log == log;
        if (count > 0 && !kinds) return Refuse(error, c.name + " wants " + log + " records, but no [event " + log + "] is declared");
      }
    return true;
  }

 private:
  enum class Kind { None, Lab, Computer, Messages, Source, Event, Words };

  bool Fail(std::string& error, const std::string& why) {
    error = "line " + std::to_string(line_) + ": " + why;
    return false;
  }
  static bool Refuse(std::string& error, const std::string& why) {
    error = why;
    return false;
  }

  bool OpenSection(const std::string& text, std::string& error) {
    if (text.back() != ']') return Fail(error, "a section line ends with \"]\"");
    std::string inner = Trim(std::string_view(text).substr(1, text.size() - 2));
    size_t blank = inner.find_first_of(" \t");
    std::string kind = inner.substr(0, blank);
    std::string rest = blank == std::string::npos ? "" : Trim(std::string_view(inner).substr(blank));
    auto full = [&](size_t size) { return size >= kMaxLabEntries; };
    if (kind == "lab" && rest.empty()) {
      section_ = Kind::Lab;
    } else if (kind == "computer") {
      if (!ComputerName(rest)) return Fail(error, "\"" + rest + "\" is no computer name (1 to 15 characters)");
      for (const auto& c : lab_.computers)
        if (platform::EqualsNoCase(c.name, rest)) return Fail(error, "computer " + rest + " is described twice");
      if (full(lab_.computers.size())) return Fail(error, "too many computers");
      lab_.computers.push_back({rest, {}, {}, {}, {}, {}});
      section_ = Kind::Computer;
    } else if (kind == "messages") {
      if (rest.empty() || rest.find_first_of("\\/:. \t") != std::string::npos)
        return Fail(error, "\"" + rest + "\" is no DLL name (no path, no extension)");
      if (full(lab_.messages.size())) return Fail(error, "too many message DLLs");
      lab_.messages.push_back({rest, {}, false});
      section_ = Kind::Messages;
    } else if (kind == "source") {
      size_t split = rest.find_first_of(" \t");
      std::string log = rest.substr(0, split);
      std::string name = split == std::string::npos ? "" : Trim(std::string_view(rest).substr(split));
      if (!StandardLog(log)) return Fail(error, "a source belongs to System, Security or Application");
      if (name.empty() || name.find_first_of("\\/") != std::string::npos) return Fail(error, "a source needs a name");
      if (full(lab_.sources.size())) return Fail(error, "too many sources");
      lab_.sources.push_back({log, name, {}, {}, {}, 0});
      section_ = Kind::Source;
    } else if (kind == "event") {
      if (!StandardLog(rest)) return Fail(error, "events belong to System, Security or Application");
      if (full(lab_.events.size())) return Fail(error, "too many kinds of event");
      lab_.events.push_back({});
      lab_.events.back().log = rest;
      section_ = Kind::Event;
    } else if (kind == "words" && !rest.empty() && rest.find_first_of("{} \t") == std::string::npos) {
      if (rest == "computer" || rest == "domain") return Fail(error, "{" + rest + "} is the lab's own");
      if (full(lab_.words.size())) return Fail(error, "too many word lists");
      words_ = &lab_.words[rest];
      section_ = Kind::Words;
    } else {
      return Fail(error, "unknown section [" + inner + "]");
    }
    return true;
  }

  bool Value(const std::string& key, const std::string& value, std::string& error) {
    uint64_t n = 0;
    // Reads a number into `field` when it lies in [min, max].
    auto number = [&](auto& field, uint64_t max, uint64_t min = 0) {
      if (!ParseNumber(value, max, n) || n < min) return false;
      field = static_cast<std::remove_reference_t<decltype(field)>>(n);
      return true;
    };
    auto name = [&](std::string& field) {
      field = value;
      return ComputerName(value);
    };
    bool ok = true;
    bool known = true;
    switch (section_) {
      case Kind::None:
        return Fail(error, "\"" + key + "\" before any section");
      case Kind::Lab:
        if (key == "start") ok = Time(value, lab_.start);
        else if (key == "seed") ok = number(lab_.seed, ~0ull);
        else if (key == "same-second") ok = number(lab_.sameSecond, 100);
        else if (key == "log-size") ok = ParseLogSize(value, lab_.logSize);
        else if (key == "gap") ok = Gap(value);
        else known = false;
        break;
      case Kind::Computer: {
        LabComputer& c = lab_.computers.back();
        if (key == "role") {
          c.host.role = value;
          ok = value == "workstation" || value == "server" || value == "pdc" || value == "bdc";
        } else if (key == "domain") {
          ok = name(c.host.domain);
        } else if (key == "version") {
          c.host.version = value;
          ok = value.size() <= 8 && value.find('.') != std::string::npos;
        } else if (key == "online") {
          ok = Flag(value, c.host.online);
        } else if (key == "deny") {
          for (const auto& d : Split(value, ',')) c.host.deny.insert(d);
        } else if (key == "record-name") {
          ok = name(c.recordName);
        } else if (key == "audit") {
          DWORD options[7];
          c.audit = value;
          ok = value == "off" || ParsePolicyText(value, options);
        } else if (key == "events") {
          ok = Counts(value, c.events);
        } else if (key == "accounts") {
          // NT's user names; every SAM has Administrator and Guest already, and a name is one account.
          c.accounts = Split(value, ',');
          std::set<std::string> seen = {"administrator", "guest"};
          for (const auto& account : c.accounts) {
            std::string lower = account;
            for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            const bool control = std::any_of(account.begin(), account.end(),
                                             [](char ch) { return static_cast<unsigned char>(ch) < 0x20; });
            ok = ok && !control && account.size() <= 20 &&
                 account.find_first_of("\\/[]:;|=,+*?<>\"") == std::string::npos && seen.insert(lower).second;
          }
          ok = ok && c.accounts.size() <= kMaxLabEntries;
        } else {
          known = false;
        }
        break;
      }
      case Kind::Messages:
        if (key == "file") {
          lab_.messages.back().file = value;
          ok = !value.empty() && value[0] != '/' && value.find("..") == std::string::npos;
        } else if (key == "ansi") {
          ok = Flag(value, lab_.messages.back().ansi);
        } else {
          known = false;
        }
        break;
      case Kind::Source: {
        LabSource& s = lab_.sources.back();
        if (key == "events") s.eventFiles = Split(value, ',');
        else if (key == "categories") s.categoryFiles = Split(value, ',');
        else if (key == "parameters") s.parameterFiles = Split(value, ',');
        else if (key == "category-count") ok = number(s.categoryCount, 0xFFFF);
        else known = false;
        break;
      }
      case Kind::Event: {
        LabEvent& e = lab_.events.back();
        if (key == "source") e.source = value;
        else if (key == "id") ok = number(e.id, 0xFFFFFFFFu);
        else if (key == "type") ok = ParseType(value, e.type);
        else if (key == "category") ok = number(e.category, 0xFFFF);
        else if (key == "weight") ok = number(e.weight, 1000, 1);
        else if (key == "strings") ok = (e.strings = Split(value, '|')).size() <= 64;
        else if (key == "user") ok = User(e.user = value);
        else if (key == "data") ok = value.size() <= 512 && ParseHex(value, e.data);
        else known = false;
        break;
      }
      case Kind::Words:
        break;  // every line of a word list is a word
    }
    if (!known) return Fail(error, "unknown key \"" + key + "\"");
    if (!ok) return Fail(error, "bad value for \"" + key + "\": " + value);
    return true;
  }

  // "1-600": seconds between records that do not share a second.
  bool Gap(const std::string& value) {
    auto range = Split(value, '-');
    uint64_t lo = 0, hi = 0;
    if (range.size() != 2 || !ParseNumber(range[0], 86400, lo) || !ParseNumber(range[1], 86400, hi) || lo < 1 || lo > hi)
      return false;
    lab_.gapMin = static_cast<uint32_t>(lo);
    lab_.gapMax = static_cast<uint32_t>(hi);
    return true;
  }

  // "System 300, Security 250": records per log.
  static bool Counts(const std::string& value, std::vector<std::pair<std::string, uint32_t>>& out) {
    for (const auto& item : Split(value, ',')) {
      auto words = Split(item, ' ');
      uint64_t n = 0;
      if (words.size() != 2 || !StandardLog(words[0]) || !ParseNumber(words[1], kMaxLabRecordsPerLog, n)) return false;
      out.emplace_back(words[0], static_cast<uint32_t>(n));
    }
    return true;
  }

  LabDescription& lab_;
  Kind section_ = Kind::None;
  std::vector<std::string>* words_ = nullptr;
  int line_ = 0;
};

}  // namespace

bool ParseLabDescription(std::string_view text, LabDescription& out, std::string& error) {
  out = LabDescription();
  Parser parser(out);
  int number = 0;
  for (size_t start = 0; start <= text.size();) {
    size_t end = text.find('\n', start);
    std::string_view line = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (line.find('\0') != std::string_view::npos) return error = "line " + std::to_string(number + 1) + ": a NUL byte", false;
    if (!parser.Line(line, ++number, error)) return false;
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  for (const auto& e : out.events)
    if (e.source.empty()) return error = "an event of " + e.log + " has no source", false;
  return parser.Check(error);
}

}  // namespace hostkit
