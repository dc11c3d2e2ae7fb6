#pragma once

#include <cstdint>

#include "plan/plan_settings.h"

// When a client's machine is on, and so when its task's firings happen: the
// Task Scheduler does not make up a firing that fell while the machine was off.
// Office machines run on weekdays (day 0 is a Monday; UTC is local time) from
// 08:00 plus a start-up minute drawn per client and day (0 to 59) until 18:00.
class UptimeModel {
 public:
  UptimeModel(Uptime uptime, uint64_t seed);

  // The first minute in [from, end) at which a task with the given start
  // minute (after 00:00) and repetition interval fires on a running machine:
  // a minute congruent to the start modulo the interval. end when none is.
  int64_t NextFiring(uint32_t client, int startMinute, int interval, int64_t from,
                     int64_t end) const;

  // Minute of the day (480 to 539) at which an office machine starts on a day.
  int OfficeStartMinute(uint32_t client, int64_t day) const;

  Uptime uptime() const { return uptime_; }

 private:
  Uptime uptime_;
  uint64_t seed_;
};
