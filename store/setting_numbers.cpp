#include "store/setting_numbers.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>

namespace {
constexpr size_t kMaxNumberLength = 20;
}

bool IsValidNumber(const std::string& text) {
  if (text.empty() || text.size() > kMaxNumberLength) return false;
  size_t i = text[0] == '-' ? 1 : 0;
  for (; i < text.size(); ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  return true;
}

bool ParseSettingNumber(const std::string& text, DWORD& value) {
  if (!IsValidNumber(text) || text == "-") return false;
  errno = 0;
  char* end = nullptr;
  long long n = std::strtoll(text.c_str(), &end, 10);
  if (errno == ERANGE || end != text.c_str() + text.size()) return false;
  if (n < INT32_MIN || n > static_cast<long long>(UINT32_MAX)) return false;
  value = static_cast<DWORD>(static_cast<uint32_t>(n));
  return true;
}
