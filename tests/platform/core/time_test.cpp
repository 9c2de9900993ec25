// kernel32's time conversions: calendar and file times both ways, their invalid inputs, and
// the two local-time directions (the date's own offset, and today's for LocalFileTimeToFileTime).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <ctime>
#include <filesystem>
#include <string>
#include <tuple>

#include "platform/core/time.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_network.h"

namespace {

unsigned long long Ticks(const FILETIME& f) { return (static_cast<unsigned long long>(f.dwHighDateTime) << 32) | f.dwLowDateTime; }

TEST(TimeTest, CalendarAndFileTimes) {
  struct Case {
    SYSTEMTIME st;
    unsigned long long ticks;
    WORD dayOfWeek;
  };
  const Case cases[] = {
      {{1601, 1, 0, 1, 0, 0, 0, 0}, 0, 1},                       // a Monday
      {{1970, 1, 0, 1, 0, 0, 0, 0}, 116444736000000000ull, 4},  // a Thursday
      {{2000, 2, 0, 29, 23, 59, 59, 999}, 125963423999990000ull, 2},
      {{2106, 2, 0, 7, 6, 28, 15, 0}, 159394408950000000ull, 0},
  };
  for (const Case& c : cases) {
    FILETIME f;
    ASSERT_TRUE(SystemTimeToFileTime(&c.st, &f)) << c.st.wYear;
    EXPECT_EQ(Ticks(f), c.ticks);
    SYSTEMTIME back;
    ASSERT_TRUE(FileTimeToSystemTime(&f, &back));
    const SYSTEMTIME& e = c.st;
    EXPECT_EQ(std::tie(back.wYear, back.wMonth, back.wDay, back.wHour, back.wMinute, back.wSecond, back.wMilliseconds),
              std::tie(e.wYear, e.wMonth, e.wDay, e.wHour, e.wMinute, e.wSecond, e.wMilliseconds));
    EXPECT_EQ(back.wDayOfWeek, c.dayOfWeek);
  }
  const SYSTEMTIME bad[] = {
      {1600, 12, 0, 31, 0, 0, 0, 0}, {2001, 2, 0, 29, 0, 0, 0, 0}, {1900, 2, 0, 29, 0, 0, 0, 0},
      {2000, 13, 0, 1, 0, 0, 0, 0},  {2000, 1, 0, 0, 0, 0, 0, 0},  {2000, 1, 0, 1, 24, 0, 0, 0},
      {2000, 1, 0, 1, 0, 60, 0, 0},  {2000, 1, 0, 1, 0, 0, 0, 1000},
  };
  for (const SYSTEMTIME& s : bad) {
    FILETIME f = {7, 7};
    SetLastError(kUnsetError);
    EXPECT_FALSE(SystemTimeToFileTime(&s, &f)) << s.wYear << "-" << s.wMonth << "-" << s.wDay;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(f.dwLowDateTime, 7u);
  }
  FILETIME negative = {0, 0x80000000u};
  SYSTEMTIME out;
  EXPECT_FALSE(FileTimeToSystemTime(&negative, &out));
}

TEST(TimeTest, LocalDirections) {
  if (!std::filesystem::exists("/usr/share/zoneinfo/Europe/Berlin")) GTEST_SKIP() << "no tzdata";
  ScopedEnv tz("TZ", "Europe/Berlin");
  SYSTEMTIME summerUtc = {2023, 7, 0, 1, 12, 0, 0, 0}, local, utc;
  ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &summerUtc, &local));
  EXPECT_EQ(local.wHour, 14);
  ASSERT_TRUE(TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc));
  EXPECT_EQ(utc.wHour, 12);
  SYSTEMTIME repeated = {2023, 10, 0, 29, 2, 30, 0, 0};
  ASSERT_TRUE(TzSpecificLocalTimeToSystemTime(nullptr, &repeated, &utc));
  EXPECT_EQ(utc.wHour, 0);  // the first pass, still summer time
  EXPECT_EQ(utc.wMinute, 30);
  // A fixed zone: LocalFileTimeToFileTime takes today's offset, which is the only one.
  tz.Set("<+01>-1");
  FILETIME localFt = {0, 0}, ft;
  SYSTEMTIME epoch = {1970, 1, 0, 1, 1, 0, 0, 0};
  ASSERT_TRUE(SystemTimeToFileTime(&epoch, &localFt));
  ASSERT_TRUE(LocalFileTimeToFileTime(&localFt, &ft));
  EXPECT_EQ(Ticks(ft), 116444736000000000ull);
}

}  // namespace
