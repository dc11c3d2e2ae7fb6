#include "update/update_check_interval.h"

#include <gtest/gtest.h>

namespace {

TEST(IsUpdateCheckDueAt, IsDueOnlyMoreThanTwentyFourHoursAfterTheLastCheck) {
  const uint64_t last = 133000000000000000ULL;  // a day in 2022
  const uint64_t minute = 600000000ULL;
  struct Case {
    uint64_t now;
    bool due;
  } cases[] = {
      {last, false},
      {last + kUpdateCheckInterval - minute, false},  // 23 h 59 min
      {last + kUpdateCheckInterval, false},           // exactly 24 h
      {last + kUpdateCheckInterval + 1, true},        // 24 h and 100 ns
      {last + 2 * kUpdateCheckInterval, true},
      {last - minute, false},  // the clock was set back
      {last - kUpdateCheckInterval, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.due, IsUpdateCheckDueAt(last, c.now)) << "now - last = " << (c.now - last);
  }
}

TEST(IsUpdateCheckDueAt, ClockSetForwardMakesTheCheckDueAndSetBackHoldsItBack) {
  const uint64_t last = 133000000000000000ULL;
  const uint64_t day = kUpdateCheckInterval;
  const uint64_t year = 365 * day;
  struct Case {
    const char* clock;
    uint64_t now;
    bool due;
  } cases[] = {
      {"a day forward", last + day + 1, true},
      {"a year forward", last + year, true},
      {"a day back", last - day, false},
      {"a year back", last - year, false},
  };
  for (const Case& c : cases) EXPECT_EQ(c.due, IsUpdateCheckDueAt(last, c.now)) << c.clock;
}

TEST(IsUpdateCheckDueAt, ZeroMeansDueAtOnce) {
  EXPECT_TRUE(IsUpdateCheckDueAt(0, 133000000000000000ULL));
  EXPECT_FALSE(IsUpdateCheckDueAt(0, kUpdateCheckInterval));
}

TEST(IsUpdateCheckDueAt, TheSumWrapsModulo2To64) {
  // A last check near the top of the range wraps to a small number.
  EXPECT_TRUE(IsUpdateCheckDueAt(UINT64_MAX, kUpdateCheckInterval));
  EXPECT_FALSE(IsUpdateCheckDueAt(UINT64_MAX, kUpdateCheckInterval - 1));
}

}  // namespace
