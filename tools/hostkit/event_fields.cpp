#include "tools/hostkit/event_fields.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <utility>

#include "platform/core/paths.h"
#include "platform/core/sid.h"
#include "platform/eventlog/eventlog.h"
#include "platform/lsa/lsa.h"

namespace hostkit {

bool ParseNumber(const std::string& text, uint64_t max, uint64_t& out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  unsigned long long v = std::strtoull(text.c_str(), &end, 0);
  if (errno != 0 || *end != '\0' || text[0] == '-' || v > max) return false;
  out = v;
  return true;
}

bool ParseHex(const std::string& text, std::vector<uint8_t>& out) {
  if (text.size() % 2 != 0) return false;
  out.clear();
  for (size_t i = 0; i < text.size(); i += 2) {
    if (!std::isxdigit(static_cast<unsigned char>(text[i])) || !std::isxdigit(static_cast<unsigned char>(text[i + 1])))
      return false;
    out.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
  }
  return true;
}

bool ParseSid(const std::string& text, std::vector<uint8_t>& out) {
  if (text.size() < 4 || (text[0] != 'S' && text[0] != 's') || text[1] != '-') return false;
  std::vector<uint64_t> parts;
  size_t pos = 2;
  while (pos <= text.size()) {
    size_t dash = text.find('-', pos);
    std::string piece = text.substr(pos, dash == std::string::npos ? std::string::npos : dash - pos);
    uint64_t v;
    if (!ParseNumber(piece, 0xFFFFFFFFFFFFull, v)) return false;
    parts.push_back(v);
    if (dash == std::string::npos) break;
    pos = dash + 1;
  }
  if (parts.size() < 2 || parts[0] != 1 || parts.size() - 2 > 15) return false;
  std::vector<DWORD> subs;
  for (size_t i = 2; i < parts.size(); ++i) {
    if (parts[i] > 0xFFFFFFFFu) return false;
    subs.push_back(static_cast<DWORD>(parts[i]));
  }
  out = platform::MakeSid(parts[1], subs);
  return true;
}

bool ParseLogSize(const std::string& value, DWORD& out) {
  std::string digits = value;
  uint64_t unit = 1;
  if (!digits.empty() && (digits.back() == 'K' || digits.back() == 'k')) unit = 1024;
  if (!digits.empty() && (digits.back() == 'M' || digits.back() == 'm')) unit = 1024 * 1024;
  if (unit != 1) digits.pop_back();
  uint64_t n = 0;
  if (!ParseNumber(digits, 4096, n) && !(unit == 1 && ParseNumber(digits, 0xFFFFFFFFu, n))) return false;
  n *= unit;
  if (n < 64 * 1024 || n > 0xFFFF0000u || n % (64 * 1024) != 0) return false;
  out = static_cast<DWORD>(n);
  return true;
}

bool ParseType(const std::string& text, WORD& type) {
  static const std::pair<const char*, WORD> kNames[] = {
      {"error", EVENTLOG_ERROR_TYPE},          {"warning", EVENTLOG_WARNING_TYPE},
      {"information", EVENTLOG_INFORMATION_TYPE}, {"audit-success", EVENTLOG_AUDIT_SUCCESS},
      {"audit-failure", EVENTLOG_AUDIT_FAILURE}, {"success", EVENTLOG_SUCCESS}};
  for (const auto& [name, value] : kNames) {
    if (platform::EqualsNoCase(name, text)) {
      type = value;
      return true;
    }
  }
  uint64_t v;
  if (!ParseNumber(text, 0xFFFF, v)) return false;
  type = static_cast<WORD>(v);
  return true;
}

bool ParsePolicyText(const std::string& text, DWORD (&options)[7]) {
  static const char kLetters[] = "rlfupsg";
  if (text.size() != 17 || text[0] != '+' || text[8] != ' ' || text[9] != '-') return false;
  for (size_t i = 0; i < 7; ++i) {
    const unsigned char success = static_cast<unsigned char>(text[1 + i]), failure = static_cast<unsigned char>(text[10 + i]);
    if (std::tolower(success) != kLetters[i] || std::tolower(failure) != kLetters[i]) return false;
    options[i] = POLICY_AUDIT_EVENT_NONE;
    if (std::isupper(success)) options[i] |= POLICY_AUDIT_EVENT_SUCCESS;
    if (std::isupper(failure)) options[i] |= POLICY_AUDIT_EVENT_FAILURE;
  }
  return true;
}

}  // namespace hostkit
