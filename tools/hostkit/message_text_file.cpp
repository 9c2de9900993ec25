#include "tools/hostkit/message_text_file.h"

#include <cctype>
#include <map>
#include <set>

namespace hostkit {
namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (auto& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

bool Number(std::string_view s, unsigned long long limit, unsigned long& out) {
  s = Trim(s);
  int base = 10;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty() || s.size() > 20) return false;
  unsigned long long v = 0;
  for (char c : s) {
    int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
            : base == 16 && std::isxdigit(static_cast<unsigned char>(c))
                ? std::tolower(static_cast<unsigned char>(c)) - 'a' + 10
                : -1;
    if (d < 0) return false;
    v = v * static_cast<unsigned>(base) + static_cast<unsigned>(d);
    if (v > limit) return false;
  }
  out = static_cast<unsigned long>(v);
  return true;
}

struct Reader {
  std::string_view text;
  size_t pos = 0;
  int line = 0;
  bool Next(std::string_view& out) {
    if (pos >= text.size()) return false;
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    out = text.substr(pos, end - pos);
    if (!out.empty() && out.back() == '\r') out.remove_suffix(1);
    pos = end + 1;
    ++line;
    return true;
  }
};

// "(name=value[:symbol] ...)", possibly over several lines; `limit` bounds the values.
bool NameList(Reader& r, std::string_view first, unsigned long limit, std::map<std::string, unsigned long>& names,
              std::string& error) {
  std::string body(first);
  while (body.find(')') == std::string::npos) {
    std::string_view more;
    if (!r.Next(more)) return error = "line " + std::to_string(r.line) + ": unclosed name list", false;
    body += " ";
    body += more;
  }
  std::string_view b = Trim(body);
  if (b.empty() || b.front() != '(') return error = "line " + std::to_string(r.line) + ": expected (", false;
  b = b.substr(1, b.find(')') - 1);
  size_t i = 0;
  while (i < b.size()) {
    while (i < b.size() && std::isspace(static_cast<unsigned char>(b[i]))) ++i;
    if (i >= b.size()) break;
    size_t end = i;
    while (end < b.size() && !std::isspace(static_cast<unsigned char>(b[end]))) ++end;
    std::string_view item = b.substr(i, end - i);
    i = end;
    size_t eq = item.find('=');
    // "name = value" with blanks around "=": join the pieces.
    std::string joined(item);
    while (joined.find('=') == std::string::npos || joined.back() == '=') {
      while (i < b.size() && std::isspace(static_cast<unsigned char>(b[i]))) ++i;
      if (i >= b.size()) break;
      end = i;
      while (end < b.size() && !std::isspace(static_cast<unsigned char>(b[end]))) ++end;
      joined += b.substr(i, end - i);
      i = end;
    }
    eq = joined.find('=');
    if (eq == std::string::npos || eq == 0)
      return error = "line " + std::to_string(r.line) + ": bad name " + joined, false;
    std::string value = joined.substr(eq + 1);
    value = value.substr(0, value.find(':'));
    unsigned long v;
    if (!Number(value, limit, v)) return error = "line " + std::to_string(r.line) + ": bad value in " + joined, false;
    names[Lower(joined.substr(0, eq))] = v;
  }
  return true;
}

}  // namespace

bool ParseMessageTextFile(std::string_view text, MessageTextFile& out, std::string& error) {
  out = MessageTextFile{};
  // The compiler's names where the file declares none.
  std::map<std::string, unsigned long> severities = {{"success", 0}, {"informational", 1}, {"warning", 2}, {"error", 3}};
  std::map<std::string, unsigned long> facilities = {{"system", 0x0FF}, {"application", 0xFFF}};
  std::map<std::string, unsigned long> languages = {{"english", 0x409}};
  std::map<unsigned long, unsigned long> lastIdOfFacility;
  std::map<WORD, std::set<DWORD>> seen;
  unsigned long severity = 0, facility = 0, code = 0, plus = 0;
  std::string idSpec;
  bool inMessage = false, idResolved = false;
  Reader r{text};
  std::string_view line;
  auto fail = [&](const std::string& why) {
    error = "line " + std::to_string(r.line) + ": " + why;
    return false;
  };
  while (r.Next(line)) {
    std::string_view t = Trim(line);
    if (t.empty() || t.front() == ';') continue;  // comments go to the C header only
    size_t eq = t.find('=');
    if (eq == std::string_view::npos) return fail("expected keyword=value");
    std::string key = Lower(Trim(t.substr(0, eq)));
    std::string_view value = Trim(t.substr(eq + 1));
    if (key == "messageidtypedef") {
      out.messageIdTypedef = std::string(value);
    } else if (key == "severitynames") {
      if (!NameList(r, value, 3, severities, error)) return false;
    } else if (key == "facilitynames") {
      if (!NameList(r, value, 0xFFF, facilities, error)) return false;
    } else if (key == "languagenames") {
      if (!NameList(r, value, 0xFFFF, languages, error)) return false;
    } else if (key == "outputbase") {
      unsigned long base;
      if (!Number(value, 16, base) || (base != 10 && base != 16)) return fail("OutputBase is 10 or 16");
    } else if (key == "messageid") {
      // Resolved at the message's first Language line, once its facility is known: empty is
      // one more than the facility's last id, "+n" n more.
      idSpec = std::string(value);
      if (!idSpec.empty() && idSpec.front() == '+') {
        if (!Number(std::string_view(idSpec).substr(1), 0xFFFF, plus)) return fail("bad MessageId");
      } else if (!idSpec.empty() && !Number(idSpec, 0xFFFF, plus)) {
        return fail(Number(idSpec, 0xFFFFFFFFull, plus) ? "MessageId beyond 0xFFFF" : "bad MessageId");
      }
      inMessage = true;
      idResolved = false;
      severity = 0;  // each message is Success unless it says otherwise; the facility carries on
    } else if (key == "severity") {
      auto it = severities.find(Lower(value));
      if (it == severities.end()) return fail("unknown severity " + std::string(value));
      severity = it->second;
    } else if (key == "facility") {
      auto it = facilities.find(Lower(value));
      if (it == facilities.end()) return fail("unknown facility " + std::string(value));
      facility = it->second;
    } else if (key == "symbolicname") {
      // Only the C header uses it.
    } else if (key == "language") {
      if (!inMessage) return fail("Language before MessageId");
      auto it = languages.find(Lower(value));
      if (it == languages.end()) return fail("unknown language " + std::string(value));
      WORD lang = static_cast<WORD>(it->second);
      int languageLine = r.line;
      if (!idResolved) {
        unsigned long last = lastIdOfFacility.count(facility) ? lastIdOfFacility[facility] : 0;
        code = idSpec.empty() ? last + 1 : idSpec.front() == '+' ? last + plus : plus;
        if (code > 0xFFFF) return fail("MessageId beyond 0xFFFF");
        idResolved = true;
      }
      DWORD id = static_cast<DWORD>((severity << 30) | (facility << 16) | code);
      std::string body;
      bool ended = false;
      std::string_view textLine;
      while (r.Next(textLine)) {
        if (textLine == ".") {
          ended = true;
          break;
        }
        body += textLine;
        body += "\r\n";
      }
      if (!ended) return fail("message text without its closing \".\"");
      if (!seen[lang].insert(id).second) {
        error = "line " + std::to_string(languageLine) + ": message id given twice for one language";
        return false;
      }
      platform::MessageDllLanguage* target = nullptr;
      for (auto& l : out.languages)
        if (l.language == lang) target = &l;
      if (!target) {
        out.languages.push_back({lang, {}});
        target = &out.languages.back();
      }
      target->messages.push_back({id, body});
      lastIdOfFacility[facility] = code;
    } else {
      return fail("unknown keyword " + key);
    }
  }
  if (out.languages.empty()) return fail("no messages");
  return true;
}

}  // namespace hostkit
