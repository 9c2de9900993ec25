#include "gather/event_time.h"

#include <cstdint>

#include "platform/core/time.h"

namespace {

constexpr long long kTicksPerSecond = 10000000;

long long Ticks(const FILETIME& f) {
  return static_cast<long long>((static_cast<unsigned long long>(f.dwHighDateTime) << 32) | f.dwLowDateTime);
}

FILETIME FromTicks(long long ticks) {
  return {static_cast<DWORD>(static_cast<unsigned long long>(ticks)),
          static_cast<DWORD>(static_cast<unsigned long long>(ticks) >> 32)};
}

long long EpochTicks() {
  SYSTEMTIME epoch = {1970, 1, 4, 1, 0, 0, 0, 0};
  FILETIME f;
  SystemTimeToFileTime(&epoch, &f);
  return Ticks(f);
}

}  // namespace

TIMESTAMP_STRUCT FormatEventTime(DWORD seconds) {
  FILETIME universal = FromTicks(EpochTicks() + static_cast<long long>(seconds) * kTicksPerSecond);
  SYSTEMTIME utc, local;
  TIMESTAMP_STRUCT stamp = {};
  if (!FileTimeToSystemTime(&universal, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
    return stamp;
  stamp.year = static_cast<SQLSMALLINT>(local.wYear);
  stamp.month = local.wMonth;
  stamp.day = local.wDay;
  stamp.hour = local.wHour;
  stamp.minute = local.wMinute;
  stamp.second = local.wSecond;
  stamp.fraction = 1000;
  return stamp;
}

DWORD ParseStoredTime(const TIMESTAMP_STRUCT& stamp) {
  if (stamp.year < 1601) return 0;
  SYSTEMTIME local = {static_cast<WORD>(stamp.year), stamp.month, 0, stamp.day, stamp.hour,
                      stamp.minute, stamp.second, 0};
  SYSTEMTIME utc;
  FILETIME universal;
  // The local-to-universal step takes the offset of the stamp's own date: converting with
  // today's offset would shift every stamp from the other side of a daylight-saving change by
  // an hour, and the next gather would store an hour twice or pass one over.
  if (!TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) || !SystemTimeToFileTime(&utc, &universal)) return 0;
  long long seconds = (Ticks(universal) - EpochTicks()) / kTicksPerSecond;
  if (seconds < 0) return 0;
  if (seconds > UINT32_MAX) return UINT32_MAX;
  return static_cast<DWORD>(seconds);
}
