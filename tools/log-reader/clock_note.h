#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "log_entry.h"

// What an install log shows of a clock that was ahead when the service ran.
// The service stores the time of every manifest it fetched as
// LastUpdateCheck and checks again only 24 hours after it, so a check made
// while the clock was ahead holds the machine back until the corrected clock
// has passed that time.

// Entries dated more than this after the reader's clock were written by a
// clock that was ahead; less is within what clocks drift apart.
constexpr int64_t kClockAheadToleranceMilliseconds = 60 * 60 * 1000;

// Whether the service writes the event only after it fetched the manifest
// and stored the time as LastUpdateCheck in the same cycle: the attempt
// limit (1301), the choice of a package (1600, 1601, verbose logging only)
// and a failed install (1234, 1300, always written).
bool FollowsAStoredCheck(int32_t code);

// Collects the entries dated after now (plus the tolerance).
class FutureEntries {
 public:
  explicit FutureEntries(const LogTimestamp& now);

  void Add(const LogEntry& entry);

  // What the administrator is told, each line ended by a line feed: nothing
  // when no entry lies in the future; otherwise how many do and the latest,
  // and the latest check among them with the remedy, or, without a check
  // among them, what to compare.
  std::string Note() const;

 private:
  int64_t limit_;
  std::size_t count_ = 0;
  LogTimestamp latest_{};
  bool haveCheck_ = false;
  LogTimestamp latestCheck_{};
  int32_t checkCode_ = 0;
};
