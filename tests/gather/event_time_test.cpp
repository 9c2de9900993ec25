// The row's times across real daylight-saving changes: FormatEventTime gives the local time in
// force at each instant, and ParseStoredTime gives every stamp back its instant, the earlier
// one in the repeated hour.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "gather/event_time.h"
#include "tests/support/scoped_env.h"

namespace {

std::string Text(const TIMESTAMP_STRUCT& t) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02u-%02u %02u:%02u:%02u.%u", t.year, t.month, t.day, t.hour, t.minute,
                t.second, t.fraction);
  return buf;
}

TIMESTAMP_STRUCT Stamp(int y, int mo, int d, int h = 0, int mi = 0) {
  auto u = [](int v) { return static_cast<SQLUSMALLINT>(v); };
  return TIMESTAMP_STRUCT{static_cast<SQLSMALLINT>(y), u(mo), u(d), u(h), u(mi), 0, 0};
}

TEST(EventTimeTest, KnownInstantsAndTheirInverse) {
  if (!std::filesystem::exists("/usr/share/zoneinfo/America/New_York")) GTEST_SKIP() << "no tzdata";
  ScopedEnv tz("TZ", "UTC0");
  const struct {
    const char* zone;
    DWORD seconds;
    const char* local;
    DWORD back;  // what the stamp parses back to
  } cases[] = {
      {"<+01>-1", 0, "1970-01-01 01:00:00.1000", 0},
      {"Europe/Berlin", 1679792399, "2023-03-26 01:59:59.1000", 1679792399},  // last second of winter time
      {"Europe/Berlin", 1679792400, "2023-03-26 03:00:00.1000", 1679792400},
      {"Europe/Berlin", 1698539400, "2023-10-29 02:30:00.1000", 1698539400},  // first pass of the repeated hour
      {"Europe/Berlin", 1698543000, "2023-10-29 02:30:00.1000", 1698539400},  // the second gives the first
      {"Europe/Berlin", 1673784000, "2023-01-15 13:00:00.1000", 1673784000},  // its own date's offset
      {"America/New_York", 1699165800, "2023-11-05 01:30:00.1000", 1699162200},
      {"America/New_York", 4294967295u, "2106-02-07 01:28:15.1000", 4294967295u},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.zone) + " " + std::to_string(c.seconds));
    tz.Set(c.zone);
    EXPECT_EQ(Text(FormatEventTime(c.seconds)), c.local);
    EXPECT_EQ(ParseStoredTime(FormatEventTime(c.seconds)), c.back);
  }
  // Hourly over a year: every stamp parses back to its instant or, in a repeated hour, one hour earlier.
  tz.Set("Europe/Berlin");
  for (DWORD s = 1672531200; s < 1704067200; s += 3600 + 17) {
    DWORD back = ParseStoredTime(FormatEventTime(s));
    EXPECT_TRUE(back == s || back == s - 3600) << s;
  }
}

TEST(EventTimeTest, StampsOutsideTheRange) {
  ScopedEnv tz("TZ", "<+01>-1");
  const std::pair<TIMESTAMP_STRUCT, DWORD> cases[] = {
      {Stamp(1970, 1, 1, 0, 30), 0},  // before 1970 in UTC
      {Stamp(2023, 2, 30), 0},        // no such day
      {Stamp(2023, 13, 1), 0},
      {Stamp(0, 0, 0), 0},  // an empty stamp
      {Stamp(2200, 1, 1), 4294967295u},
  };
  for (const auto& [stamp, seconds] : cases) EXPECT_EQ(ParseStoredTime(stamp), seconds) << Text(stamp);
}

}  // namespace
