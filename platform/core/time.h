// Time conversions of kernel32, served by the C library's time zone rules for this machine
// (TZ honoured). File times count 100-nanosecond steps since 1601-01-01 00:00:00 UTC.
#pragma once

#include "platform/core/win32.h"

struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};

// Named as in the Windows headers, so the registry's forward declaration (PFILETIME) is this
// very type.
struct _FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};
typedef _FILETIME FILETIME;
typedef _FILETIME* PFILETIME;

struct TIME_ZONE_INFORMATION;  // only "none" (the machine's zone) is served

// Calendar time (1601..30827) to file time; an invalid field fails with 87.
BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime);
// File time to calendar time (also sets the day of the week); values >= 2^63 fail with 87.
BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime);
// Universal to local calendar time with the offset in force at that instant.
BOOL SystemTimeToTzSpecificLocalTime(const TIME_ZONE_INFORMATION* zone, const SYSTEMTIME* universal,
                                     SYSTEMTIME* local);
// Local to universal calendar time with the offset in force at that local time; in the hour
// that repeats when clocks go back, the earlier instant.
BOOL TzSpecificLocalTimeToSystemTime(const TIME_ZONE_INFORMATION* zone, const SYSTEMTIME* local,
                                     SYSTEMTIME* universal);
// Local to universal file time with the offset in force now, whatever the date.
BOOL LocalFileTimeToFileTime(const FILETIME* localFileTime, FILETIME* fileTime);
