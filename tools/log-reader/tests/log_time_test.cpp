#include "log_time.h"

#include <gtest/gtest.h>

namespace {

struct StampCase {
  const char* text;
  bool parses;
  LogTimestamp time;
};

// The service writes every field unpadded; the milliseconds are a count, so
// ".42" is 42 ms and ".7" is 7 ms.
const StampCase kStamps[] = {
    {"2011-6-7+8-5-3.42", true, {2011, 6, 7, 8, 5, 3, 42}},
    {"2011-12-31+23-59-59.999", true, {2011, 12, 31, 23, 59, 59, 999}},
    {"2026-1-1+0-0-0.0", true, {2026, 1, 1, 0, 0, 0, 0}},
    {"2026-12-8+21-5-3.7", true, {2026, 12, 8, 21, 5, 3, 7}},
    {"2026-01-08+09-05-03.007", true, {2026, 1, 8, 9, 5, 3, 7}},
    {"30827-12-31+23-59-59.999", true, {30827, 12, 31, 23, 59, 59, 999}},
    {"1600-1-1+0-0-0.0", false, {}},
    {"2026-13-1+0-0-0.0", false, {}},
    {"2026-0-1+0-0-0.0", false, {}},
    {"2026-1-32+0-0-0.0", false, {}},
    {"2026-1-1+24-0-0.0", false, {}},
    {"2026-1-1+0-60-0.0", false, {}},
    {"2026-1-1+0-0-60.0", false, {}},
    {"2026-1-1+0-0-0.1000", false, {}},
    {"2026-1-1+0-0-0", false, {}},
    {"2026-1-1 0-0-0.0", false, {}},
    {"2026-1-1+0-0-0.", false, {}},
    {"2026-1-1+0-0--1.0", false, {}},
    {"2026-1-1+0-0-0.0x", false, {}},
    {"2026-1-1+0-0-0000000000001.0", false, {}},
    {"", false, {}},
};

TEST(LogTimeTest, ReadsUnpaddedTimeStampsWithinSystemTimeRanges) {
  for (const StampCase& c : kStamps) {
    LogTimestamp time{1, 1, 1, 1, 1, 1, 1};
    ASSERT_EQ(ParseLogTimestamp(c.text, time), c.parses) << c.text;
    if (c.parses) {
      EXPECT_EQ(CompareLogTime(time, c.time), 0) << c.text << " read as " << FormatIsoTime(time);
    }
  }
}

struct IsoCase {
  const char* text;
  bool parses;
  const char* formatted;
};

const IsoCase kIsoTimes[] = {
    {"2026-12-08", true, "2026-12-08T00:00:00.000Z"},
    {"2026-12-08T21:05", true, "2026-12-08T21:05:00.000Z"},
    {"2026-12-08 21:05:03", true, "2026-12-08T21:05:03.000Z"},
    {"2026-12-08T21:05:03.007Z", true, "2026-12-08T21:05:03.007Z"},
    {"2026-12-08T21:05:03.5", true, "2026-12-08T21:05:03.500Z"},
    {"2026-12-08T21:05:03.25Z", true, "2026-12-08T21:05:03.250Z"},
    {"2026-12-08Z", true, "2026-12-08T00:00:00.000Z"},
    {"2026-12-8", false, nullptr},
    {"2026-12-08T21", false, nullptr},
    {"2026-12-08T21:05:03.", false, nullptr},
    {"2026-12-08T21:05:03.1234", false, nullptr},
    {"2026-12-08T24:00", false, nullptr},
    {"2026-12-08T21:05+01:00", false, nullptr},
    {"yesterday", false, nullptr},
};

TEST(LogTimeTest, ReadsCommandLineTimesAsIso8601Utc) {
  for (const IsoCase& c : kIsoTimes) {
    LogTimestamp time{};
    ASSERT_EQ(ParseIsoTime(c.text, time), c.parses) << c.text;
    if (c.parses) {
      EXPECT_EQ(FormatIsoTime(time), c.formatted) << c.text;
    }
  }
}

TEST(LogTimeTest, FormatsPaddedIso8601) {
  EXPECT_EQ(FormatIsoTime({2011, 6, 7, 8, 5, 3, 42}), "2011-06-07T08:05:03.042Z");
  EXPECT_EQ(FormatIsoTime({2026, 12, 8, 21, 5, 3, 7}), "2026-12-08T21:05:03.007Z");
}

TEST(LogTimeTest, OrdersByEveryFieldFromYearToMilliseconds) {
  const LogTimestamp base{2026, 6, 15, 12, 30, 30, 500};
  for (int field = 0; field < 7; ++field) {
    LogTimestamp later = base;
    unsigned* fields[] = {&later.year, &later.month, &later.day, &later.hour,
                          &later.minute, &later.second, &later.milliseconds};
    ++*fields[field];
    EXPECT_LT(CompareLogTime(base, later), 0) << field;
    EXPECT_GT(CompareLogTime(later, base), 0) << field;
  }
  EXPECT_EQ(CompareLogTime(base, base), 0);
}

TEST(LogTimeTest, CountsMillisecondsFromTheEpochAcrossLeapDaysAndCenturies) {
  const struct {
    LogTimestamp time;
    int64_t milliseconds;
  } cases[] = {
      {{1970, 1, 1, 0, 0, 0, 0}, 0},
      {{1601, 1, 1, 0, 0, 0, 0}, -11644473600000},
      {{2000, 2, 29, 23, 59, 59, 999}, 951868799999},
      {{2000, 3, 1, 0, 0, 0, 0}, 951868800000},
      {{2026, 12, 8, 21, 5, 3, 7}, 1796763903007},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.milliseconds, LogTimeMilliseconds(c.time)) << FormatIsoTime(c.time);
  }
}

}  // namespace
