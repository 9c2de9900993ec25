#include "platform/registry/hive_regtext.h"

#include <cctype>
#include <cstring>
#include <map>
#include <set>

#include "platform/registry/hive_format.h"
#include "platform/core/paths.h"
#include "platform/registry/registry.h"

namespace platform {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool StartsNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

// "HKEY_LOCAL_MACHINE\SYSTEM\x" -> "SYSTEM\x"; false for any other root.
bool MachineKey(std::string_view full, std::string& out) {
  for (std::string_view root : {"HKEY_LOCAL_MACHINE\\", "HKLM\\"}) {
    if (StartsNoCase(full, root)) {
      out.assign(full.substr(root.size()));
      while (!out.empty() && out.back() == '\\') out.pop_back();
      std::vector<std::string> names;
      return !out.empty() && SplitKeyPath(out, names) == ERROR_SUCCESS;
    }
  }
  return false;
}

bool ParseHexNumber(std::string_view s, uint32_t& out) {
  if (s.empty() || s.size() > 8) return false;
  uint32_t v = 0;
  for (char c : s) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    v = v * 16 + static_cast<uint32_t>(std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::tolower(c) - 'a' + 10);
  }
  out = v;
  return true;
}

bool ParseHexBytes(std::string_view s, std::string& out) {
  out.clear();
  s = Trim(s);
  if (s.empty()) return true;
  size_t start = 0;
  while (start <= s.size()) {
    size_t comma = s.find(',', start);
    std::string_view byte = Trim(s.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    uint32_t v;
    if (byte.size() > 2 || !ParseHexNumber(byte, v)) return false;
    out.push_back(static_cast<char>(v));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return true;
}

// A quoted string starting at s[0] == '"'; `used` is how much of s it took.
bool ParseQuoted(std::string_view s, std::string& out, size_t& used) {
  out.clear();
  for (size_t i = 1; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      out.push_back(s[++i]);
    } else if (s[i] == '"') {
      used = i + 1;
      return true;
    } else {
      out.push_back(s[i]);
    }
  }
  return false;
}

// Text of the file as UTF-8: a UTF-16LE file starts with FF FE; a UTF-8 one may carry EF BB BF.
std::string FileText(std::string_view bytes) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE)
    return Utf16LeToUtf8(bytes.substr(2));
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return std::string(bytes.substr(3));
  return std::string(bytes);
}

std::string Hex(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%x", v);
  return buf;
}

std::string Quote(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  return out + "\"";
}

// hex lists wrapped as regedit wraps them: lines under 80 characters, continued by "\".
std::string HexList(const std::string& prefix, const std::string& bytes) {
  std::string out = prefix;
  size_t lineLen = prefix.size();
  for (size_t i = 0; i < bytes.size(); ++i) {
    char b[4];
    std::snprintf(b, sizeof b, "%02x", static_cast<unsigned char>(bytes[i]));
    out += b;
    lineLen += 2;
    if (i + 1 < bytes.size()) {
      out += ",";
      ++lineLen;
      if (lineLen > 75) {
        out += "\\\n  ";
        lineLen = 2;
      }
    }
  }
  return out;
}

// A REG_SZ that a quoted string can carry: UTF-16, one NUL at the end and none inside.
bool PlainString(const RegistryValue& v, std::string& text) {
  if (v.data.size() < 2 || v.data.size() % 2) return false;
  const std::string s = Utf16LeToUtf8(v.data);
  if (s.empty() || s.back() != '\0' || std::memchr(s.data(), '\0', s.size() - 1)) return false;
  if (Utf8ToUtf16Le(s) != v.data) return false;  // would not come back the same
  text = s.substr(0, s.size() - 1);
  return text.find('\n') == std::string::npos && text.find('\r') == std::string::npos;
}

std::string ValueLine(const std::string& name, const RegistryValue& v) {
  std::string head = name.empty() ? "@=" : Quote(name) + "=";
  std::string text;
  if (v.type == REG_SZ && PlainString(v, text)) return head + Quote(text);
  if (v.type == REG_DWORD && v.data.size() == 4) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "dword:%08x", LoadLe32(reinterpret_cast<const unsigned char*>(v.data.data())));
    return head + buf;
  }
  if (v.type == REG_BINARY) return HexList(head + "hex:", v.data);
  return HexList(head + "hex(" + Hex(v.type) + "):", v.data);
}

DWORD ExportNode(const Hive& hive, HiveNode node, const std::string& path, std::set<HiveNode>& seen, int depth,
                 std::string& out) {
  if (depth > 512 || !seen.insert(node).second) return ERROR_REGISTRY_CORRUPT;
  out += "[HKEY_LOCAL_MACHINE\\" + path + "]\n";
  std::vector<std::string> names;
  if (DWORD rc = hive.ValueNames(node, names)) return rc;
  for (const auto& n : names) {
    RegistryValue v;
    if (DWORD rc = hive.GetValue(node, n, v)) return rc == ERROR_FILE_NOT_FOUND ? ERROR_REGISTRY_CORRUPT : rc;
    out += ValueLine(n, v) + "\n";
  }
  out += "\n";
  std::vector<HiveNode> children;
  if (DWORD rc = hive.Children(node, children)) return rc;
  for (HiveNode c : children) {
    std::string name;
    if (DWORD rc = hive.Name(c, name)) return rc;
    if (DWORD rc = ExportNode(hive, c, path + "\\" + name, seen, depth + 1, out)) return rc;
  }
  return ERROR_SUCCESS;
}

}  // namespace

bool ParseRegText(std::string_view bytes, std::vector<RegTextChange>& changes, std::string& error) {
  changes.clear();
  const std::string text = FileText(bytes);
  // Logical lines: a line ending in "\" inside a hex list continues on the next.
  std::vector<std::pair<int, std::string>> lines;
  {
    int number = 0;
    size_t pos = 0;
    std::string pending;
    int pendingLine = 0;
    while (pos <= text.size()) {
      size_t nl = text.find('\n', pos);
      std::string_view raw = std::string_view(text).substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
      ++number;
      std::string_view line = Trim(raw);
      if (!pending.empty()) {
        pending += line;
      } else {
        pending = std::string(line);
        pendingLine = number;
      }
      if (!pending.empty() && pending.back() == '\\' && pending.find("=hex") != std::string::npos) {
        pending.pop_back();
      } else {
        lines.emplace_back(pendingLine, pending);
        pending.clear();
      }
      if (nl == std::string::npos) break;
      pos = nl + 1;
    }
    if (!pending.empty()) lines.emplace_back(pendingLine, pending);
  }
  auto fail = [&](int line, const std::string& what) {
    error = "line " + std::to_string(line) + ": " + what;
    changes.clear();
    return false;
  };
  size_t i = 0;
  while (i < lines.size() && lines[i].second.empty()) ++i;
  if (i == lines.size()) return fail(1, "empty file");
  bool unicode;
  if (lines[i].second == "Windows Registry Editor Version 5.00") unicode = true;
  else if (lines[i].second == "REGEDIT4") unicode = false;
  else return fail(lines[i].first, "not a registry file (the first line must be REGEDIT4 or Windows Registry Editor Version 5.00)");
  std::string current;
  bool currentDeleted = false;
  for (++i; i < lines.size(); ++i) {
    const int n = lines[i].first;
    std::string_view line = lines[i].second;
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      if (line.back() != ']') return fail(n, "key line without its closing ]");
      std::string_view inner = line.substr(1, line.size() - 2);
      const bool del = !inner.empty() && inner[0] == '-';
      if (del) inner.remove_prefix(1);
      std::string key;
      if (!MachineKey(inner, key)) return fail(n, "not a key of HKEY_LOCAL_MACHINE: " + std::string(inner));
      std::vector<std::string> names;
      SplitKeyPath(key, names);
      for (const auto& nm : names)
        if (Utf8ToUtf16Le(nm).size() / 2 > kMaxKeyNameLength) return fail(n, "key name longer than 255 characters");
      RegTextChange c;
      c.kind = del ? RegTextChange::DeleteKey : RegTextChange::CreateKey;
      c.key = key;
      c.line = n;
      changes.push_back(c);
      current = key;
      currentDeleted = del;
      continue;
    }
    if (current.empty()) return fail(n, "value outside of any key");
    if (currentDeleted) return fail(n, "value under a key being deleted");
    RegTextChange c;
    c.key = current;
    c.line = n;
    size_t used = 0;
    if (line[0] == '@') {
      used = 1;
    } else if (line[0] == '"') {
      if (!ParseQuoted(line, c.valueName, used)) return fail(n, "value name without its closing quote");
      if (c.valueName.empty()) return fail(n, "empty value name (the default value is @)");
    } else {
      return fail(n, "neither a key nor a value");
    }
    std::string_view rest = Trim(line.substr(used));
    if (rest.empty() || rest[0] != '=') return fail(n, "value without =");
    rest = Trim(rest.substr(1));
    if (rest == "-") {
      c.kind = RegTextChange::DeleteValue;
      changes.push_back(c);
      continue;
    }
    c.kind = RegTextChange::SetValue;
    if (!rest.empty() && rest[0] == '"') {
      std::string s;
      size_t took = 0;
      if (!ParseQuoted(rest, s, took) || !Trim(rest.substr(took)).empty()) return fail(n, "broken string value");
      c.value = StringValue(REG_SZ, s);
    } else if (StartsNoCase(rest, "dword:")) {
      uint32_t v;
      if (!ParseHexNumber(Trim(rest.substr(6)), v)) return fail(n, "broken dword value");
      c.value = DwordValue(v);
    } else if (StartsNoCase(rest, "hex")) {
      std::string_view h = rest.substr(3);
      uint32_t type = REG_BINARY;
      if (!h.empty() && h[0] == '(') {
        size_t close = h.find(')');
        if (close == std::string_view::npos || !ParseHexNumber(h.substr(1, close - 1), type))
          return fail(n, "broken hex(type)");
        h.remove_prefix(close + 1);
      }
      if (h.empty() || h[0] != ':') return fail(n, "hex value without :");
      std::string data;
      if (!ParseHexBytes(h.substr(1), data)) return fail(n, "broken hex bytes");
      if (!unicode && (type == REG_EXPAND_SZ || type == REG_MULTI_SZ)) data = Utf8ToUtf16Le(data);
      c.value = RegistryValue{type, data};
    } else {
      return fail(n, "unknown kind of value");
    }
    changes.push_back(c);
  }
  return true;
}

DWORD ApplyRegText(const ComputerImage& computer, const std::vector<RegTextChange>& changes, std::string& error) {
  // One commit per hive, in the order the hives first appear.
  std::vector<std::string> order;
  std::map<std::string, std::vector<const RegTextChange*>> byHive;
  for (const auto& c : changes) {
    std::vector<std::string> names;
    SplitKeyPath(c.key, names);
    std::string file;
    if (DWORD rc = ImageHiveFile(computer, names[0], file)) {
      error = "line " + std::to_string(c.line) + ": no hive " + names[0] + " in " + computer.name;
      return rc;
    }
    if (!byHive.count(file)) order.push_back(file);
    byHive[file].push_back(&c);
  }
  for (const auto& file : order) {
    const RegTextChange* failed = nullptr;
    DWORD rc = ChangeHive(file, [&](Hive& hive) {
      for (const RegTextChange* c : byHive[file]) {
        failed = c;
        std::vector<std::string> names;
        SplitKeyPath(c->key, names);
        const bool system = EqualsNoCase(names[0], "SYSTEM");
        names.erase(names.begin());
        if (system)
          if (DWORD r = MapControlSet(hive, names)) return r;
        HiveNode node = 0;
        DWORD r;
        switch (c->kind) {
          case RegTextChange::CreateKey:
            r = hive.CreatePath(names, node);
            break;
          case RegTextChange::DeleteKey:
            r = hive.Walk(names, node);
            if (r == ERROR_FILE_NOT_FOUND) r = ERROR_SUCCESS;  // already gone
            else if (r == ERROR_SUCCESS) r = hive.DeleteKey(node);
            break;
          case RegTextChange::SetValue:
            r = hive.CreatePath(names, node);
            if (r == ERROR_SUCCESS) r = hive.SetValue(node, c->valueName, c->value);
            break;
          case RegTextChange::DeleteValue:
            r = hive.Walk(names, node);
            if (r == ERROR_SUCCESS) r = hive.DeleteValue(node, c->valueName);
            if (r == ERROR_FILE_NOT_FOUND) r = ERROR_SUCCESS;
            break;
        }
        if (r) return r;
      }
      return DWORD{ERROR_SUCCESS};
    });
    if (rc) {
      error = failed ? "line " + std::to_string(failed->line) + ": " + failed->key : file;
      return rc;
    }
  }
  return ERROR_SUCCESS;
}

DWORD ExportRegText(const ComputerImage& computer, std::string_view keyPath, std::string& out) {
  std::string key(keyPath);
  std::string stripped;
  if (MachineKey(key, stripped)) key = stripped;
  while (!key.empty() && key.back() == '\\') key.pop_back();
  std::vector<std::string> names;
  if (DWORD rc = SplitKeyPath(key, names)) return rc;
  std::string file;
  if (DWORD rc = ImageHiveFile(computer, names[0], file)) return rc;
  const bool system = EqualsNoCase(names[0], "SYSTEM");
  std::vector<std::string> below(names.begin() + 1, names.end());
  out = "Windows Registry Editor Version 5.00\n\n";
  return ReadHive(file, [&](const Hive& hive) {
    std::vector<std::string> mapped = below;
    if (system)
      if (DWORD rc = MapControlSet(hive, mapped)) return rc;
    HiveNode node = 0;
    if (DWORD rc = hive.Walk(mapped, node)) return rc;
    std::set<HiveNode> seen;
    return ExportNode(hive, node, key, seen, 0, out);
  });
}

}  // namespace platform
