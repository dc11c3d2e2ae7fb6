#pragma once

#include <cstdint>

// Time in a plan: whole seconds or minutes from 00:00 UTC of day 0, which is
// Monday 1 January 2024. Negative values lie before the run.

constexpr int64_t kSecondsPerMinute = 60;
constexpr int64_t kMinutesPerDay = 1440;
constexpr int64_t kSecondsPerDay = 86400;

// Day 0 at 00:00 UTC as a FILETIME count (100 ns since 1601).
constexpr uint64_t kRunStartFileTime = 133485408000000000ULL;
constexpr uint64_t kFileTimePerSecond = 10000000ULL;

// Instants within a minute are kept in FILETIME units (ticks of 100 ns).
constexpr int64_t kTicksPerSecond = static_cast<int64_t>(kFileTimePerSecond);
constexpr int64_t kTicksPerMinute = 60 * kTicksPerSecond;

// The FILETIME of an instant of the run, in ticks from day 0, as the
// service's clock would read it.
inline uint64_t FileTimeAtTicks(int64_t ticks) {
  // Unsigned arithmetic: a negative instant wraps back below the run's start.
  return kRunStartFileTime + static_cast<uint64_t>(ticks);
}

inline uint64_t FileTimeAt(int64_t second) { return FileTimeAtTicks(second * kTicksPerSecond); }

// Division and remainder rounded towards minus infinity: the remainder has the
// divisor's sign, so times before day 0 fall into the right day and slot.
inline int64_t FloorDiv(int64_t value, int64_t divisor) {
  int64_t quotient = value / divisor;
  return (value % divisor != 0 && (value < 0) != (divisor < 0)) ? quotient - 1 : quotient;
}
inline int64_t FloorMod(int64_t value, int64_t divisor) {
  return value - FloorDiv(value, divisor) * divisor;
}

// Day 0 is a Monday: days 5 and 6 of each week are Saturday and Sunday.
inline bool IsWeekday(int64_t day) { return FloorMod(day, 7) < 5; }
