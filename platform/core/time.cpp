#include "platform/core/time.h"

#include <ctime>

namespace {

constexpr long long kTicksPerSecond = 10000000;
constexpr long long kEpochDifference = 11644473600LL;  // 1601-01-01 to 1970-01-01 in seconds

long long Ticks(const FILETIME* f) {
  return static_cast<long long>((static_cast<unsigned long long>(f->dwHighDateTime) << 32) | f->dwLowDateTime);
}
void SetTicks(FILETIME* f, long long ticks) {
  f->dwLowDateTime = static_cast<DWORD>(static_cast<unsigned long long>(ticks));
  f->dwHighDateTime = static_cast<DWORD>(static_cast<unsigned long long>(ticks) >> 32);
}

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's algorithm).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, long long& y, unsigned& m, unsigned& d) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<long long>(yoe) + era * 400 + (m <= 2);
}

bool IsLeap(unsigned y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// Seconds since 1970 of a calendar time taken as UTC; false for an invalid field.
bool SecondsOf(const SYSTEMTIME* s, long long& seconds) {
  static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (!s || s->wYear < 1601 || s->wYear > 30827 || s->wMonth < 1 || s->wMonth > 12 || s->wDay < 1 ||
      s->wHour > 23 || s->wMinute > 59 || s->wSecond > 59 || s->wMilliseconds > 999)
    return false;
  unsigned dim = kDays[s->wMonth - 1] + (s->wMonth == 2 && IsLeap(s->wYear) ? 1 : 0);
  if (s->wDay > dim) return false;
  seconds = DaysFromCivil(s->wYear, s->wMonth, s->wDay) * 86400 + s->wHour * 3600 + s->wMinute * 60 + s->wSecond;
  return true;
}

void FromSeconds(long long seconds, WORD ms, SYSTEMTIME* out) {
  long long days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
  long long rest = seconds - days * 86400;
  long long y;
  unsigned m, d;
  CivilFromDays(days, y, m, d);
  out->wYear = static_cast<WORD>(y);
  out->wMonth = static_cast<WORD>(m);
  out->wDay = static_cast<WORD>(d);
  out->wDayOfWeek = static_cast<WORD>(((days % 7) + 7 + 4) % 7);  // 1970-01-01 was a Thursday
  out->wHour = static_cast<WORD>(rest / 3600);
  out->wMinute = static_cast<WORD>(rest / 60 % 60);
  out->wSecond = static_cast<WORD>(rest % 60);
  out->wMilliseconds = ms;
}

// Offset from UTC in seconds in force at instant t, by the C library's rules.
long OffsetAt(long long t) {
  time_t tt = static_cast<time_t>(t);
  struct tm local;
  tzset();
  if (!localtime_r(&tt, &local)) return 0;
  return local.tm_gmtoff;
}

}  // namespace

BOOL SystemTimeToFileTime(const SYSTEMTIME* s, FILETIME* f) {
  long long seconds;
  if (!f || !SecondsOf(s, seconds)) return SetLastError(ERROR_INVALID_PARAMETER), FALSE;
  SetTicks(f, (seconds + kEpochDifference) * kTicksPerSecond + s->wMilliseconds * 10000LL);
  return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* f, SYSTEMTIME* s) {
  if (!f || !s || Ticks(f) < 0) return SetLastError(ERROR_INVALID_PARAMETER), FALSE;
  long long ticks = Ticks(f);
  FromSeconds(ticks / kTicksPerSecond - kEpochDifference, static_cast<WORD>(ticks % kTicksPerSecond / 10000), s);
  return TRUE;
}

BOOL SystemTimeToTzSpecificLocalTime(const TIME_ZONE_INFORMATION* zone, const SYSTEMTIME* universal,
                                     SYSTEMTIME* local) {
  long long seconds;
  if (zone || !local || !SecondsOf(universal, seconds)) return SetLastError(ERROR_INVALID_PARAMETER), FALSE;
  FromSeconds(seconds + OffsetAt(seconds), universal->wMilliseconds, local);
  return TRUE;
}

BOOL TzSpecificLocalTimeToSystemTime(const TIME_ZONE_INFORMATION* zone, const SYSTEMTIME* local,
                                     SYSTEMTIME* universal) {
  long long wall;
  if (zone || !universal || !SecondsOf(local, wall)) return SetLastError(ERROR_INVALID_PARAMETER), FALSE;
  // The offsets that can be in force near this wall time: those a day either side and at it.
  long candidates[3] = {OffsetAt(wall - 86400), OffsetAt(wall), OffsetAt(wall + 86400)};
  bool found = false;
  long long best = 0;
  for (long off : candidates) {
    long long t = wall - off;
    if (OffsetAt(t) != off) continue;  // this offset is not in force at that instant
    if (!found || t < best) best = t;
    found = true;
  }
  // A wall time that the clocks skipped (the hour lost when they go forward): the offset from
  // before the change.
  if (!found) best = wall - candidates[0];
  FromSeconds(best, local->wMilliseconds, universal);
  return TRUE;
}

BOOL LocalFileTimeToFileTime(const FILETIME* localFileTime, FILETIME* fileTime) {
  if (!localFileTime || !fileTime) return SetLastError(ERROR_INVALID_PARAMETER), FALSE;
  long long now = static_cast<long long>(::time(nullptr));
  SetTicks(fileTime, Ticks(localFileTime) - OffsetAt(now) * kTicksPerSecond);
  return TRUE;
}
