// The row's times across real daylight-saving changes: FormatEventTime gives the local time in
// force at each instant, and ParseStoredTime gives every stamp back its instant, the earlier
// one in the repeated hour.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <ctime>
#include <filesystem>
#include <string>

#include "gather/event_time.h"
#include "tests/support/scoped_env.h"

namespace {

class ZoneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* zone : {"Europe/Berlin", "America/New_York"})
      if (!std::filesystem::exists(std::string("/usr/share/zoneinfo/") + zone)) GTEST_SKIP() << "no tzdata";
  }
  void Zone(const char* tz) { tz_.Set(tz); }
  ScopedEnv tz_{"TZ", "UTC0"};
};

std::string Text(const TIMESTAMP_STRUCT& t) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02u-%02u %02u:%02u:%02u.%u", t.year, t.month, t.day, t.hour, t.minute,
                t.second, t.fraction);
  return buf;
}

TIMESTAMP_STRUCT Stamp(int y, int mo, int d, int h, int mi, int s) {
  TIMESTAMP_STRUCT t = {};
  t.year = static_cast<SQLSMALLINT>(y);
  t.month = static_cast<SQLUSMALLINT>(mo);
  t.day = static_cast<SQLUSMALLINT>(d);
  t.hour = static_cast<SQLUSMALLINT>(h);
  t.minute = static_cast<SQLUSMALLINT>(mi);
  t.second = static_cast<SQLUSMALLINT>(s);
  return t;
}

TEST_F(ZoneTest, KnownInstantsInThreeZones) {
  struct Case {
    const char* zone;
    DWORD seconds;
    const char* local;
  };
  const Case cases[] = {
      {"<+01>-1", 0, "1970-01-01 01:00:00.1000"},  // UTC+1 without daylight saving
      {"UTC0", 0, "1970-01-01 00:00:00.1000"},
      {"Europe/Berlin", 1679792399, "2023-03-26 01:59:59.1000"},  // last second of winter time
      {"Europe/Berlin", 1679792400, "2023-03-26 03:00:00.1000"},
      {"Europe/Berlin", 1698539400, "2023-10-29 02:30:00.1000"},  // first pass of the repeated hour
      {"Europe/Berlin", 1698543000, "2023-10-29 02:30:00.1000"},  // second pass
      {"Europe/Berlin", 1688212800, "2023-07-01 14:00:00.1000"},
      {"America/New_York", 1678604399, "2023-03-12 01:59:59.1000"},
      {"America/New_York", 1678604400, "2023-03-12 03:00:00.1000"},
      {"America/New_York", 1699162200, "2023-11-05 01:30:00.1000"},
      {"America/New_York", 1699165800, "2023-11-05 01:30:00.1000"},
      {"America/New_York", 4294967295u, "2106-02-07 01:28:15.1000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.zone) + " " + std::to_string(c.seconds));
    Zone(c.zone);
    EXPECT_EQ(Text(FormatEventTime(c.seconds)), c.local);
  }
}

TEST_F(ZoneTest, ParseIsTheExactInverseAroundEveryChange) {
  // Every 10 minutes from a day before to a day after each change, and hourly over a year:
  // each stamp parses back to its instant, except in the repeated hour, where the second pass
  // gives the first.
  for (const char* zone : {"Europe/Berlin", "America/New_York", "<+01>-1"}) {
    Zone(zone);
    SCOPED_TRACE(zone);
    const long long centres[] = {1679792400, 1698541200, 1678604400, 1699164000, 1711846800};
    for (long long centre : centres) {
      for (long long t = centre - 86400; t <= centre + 86400; t += 600) {
        DWORD s = static_cast<DWORD>(t);
        DWORD back = ParseStoredTime(FormatEventTime(s));
        if (back != s) {
          // Only the later pass of a repeated hour may move, and exactly one hour back.
          EXPECT_EQ(back, s - 3600) << t;
          EXPECT_EQ(Text(FormatEventTime(back)), Text(FormatEventTime(s)));
        }
      }
    }
    for (long long t = 1672531200; t < 1704067200; t += 3600 + 17) {
      DWORD s = static_cast<DWORD>(t);
      DWORD back = ParseStoredTime(FormatEventTime(s));
      EXPECT_TRUE(back == s || back == s - 3600) << t;
    }
  }
}

TEST_F(ZoneTest, StampsUseTheirOwnDatesOffset) {
  Zone("Europe/Berlin");
  // Summer and winter stamps both convert with their own offset, whatever today is.
  EXPECT_EQ(ParseStoredTime(Stamp(2023, 7, 1, 14, 0, 0)), 1688212800u);
  EXPECT_EQ(ParseStoredTime(Stamp(2023, 1, 15, 13, 0, 0)), 1673784000u);
  // The skipped hour is never formatted; it still parses to an instant in between.
  DWORD skipped = ParseStoredTime(Stamp(2023, 3, 26, 2, 30, 0));
  EXPECT_GE(skipped, 1679792400u - 3600);
  EXPECT_LE(skipped, 1679792400u + 3600);
  Zone("<+01>-1");
  TIMESTAMP_STRUCT zero = FormatEventTime(0);
  EXPECT_EQ(ParseStoredTime(zero), 0u);
  zero.fraction = 999999;  // ignored
  EXPECT_EQ(ParseStoredTime(zero), 0u);
}

TEST_F(ZoneTest, StampsOutsideTheRange) {
  Zone("<+01>-1");
  EXPECT_EQ(ParseStoredTime(Stamp(1970, 1, 1, 0, 30, 0)), 0u);  // before 1970 in UTC
  EXPECT_EQ(ParseStoredTime(Stamp(2023, 2, 30, 0, 0, 0)), 0u);  // no such day
  EXPECT_EQ(ParseStoredTime(Stamp(2023, 13, 1, 0, 0, 0)), 0u);
  EXPECT_EQ(ParseStoredTime(Stamp(0, 0, 0, 0, 0, 0)), 0u);  // an empty stamp
  EXPECT_EQ(ParseStoredTime(Stamp(2200, 1, 1, 0, 0, 0)), 4294967295u);
}

}  // namespace
