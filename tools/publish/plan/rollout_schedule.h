#pragma once

#include <cstdint>
#include <limits>
#include <vector>

#include "plan/plan_settings.h"

// Which clients the origin shows the new version, and when. From the
// announcement the share rises step by step; a client is shown the new
// version while a stable draw of its own lies below the share (or while it
// is a canary), so the clients of a smaller share stay inside every larger
// one, as the origin's salted hash of a client's address places them. A
// halt shows every client the current release again.
class RolloutSchedule {
 public:
  explicit RolloutSchedule(const PlanSettings& settings);

  // The share of the fleet, in percent, shown the new version at a minute of
  // the run; 0 before the announcement and from the halt on.
  double SharePercentAt(int64_t minute) const;

  // Whether the client's cycle at that minute gets the new version's
  // manifest and packages.
  bool ShowsNewVersion(uint32_t client, int64_t minute) const;

  // From this minute on nobody is shown the new version.
  void Halt(int64_t minute) { haltMinute_ = minute; }

 private:
  uint64_t seed_;
  int64_t releaseMinute_;
  int64_t stepMinutes_;
  std::vector<double> steps_;
  uint32_t canaries_;
  int64_t haltMinute_ = std::numeric_limits<int64_t>::max();
};

// The client's stable place in the rollout's order, uniform in [0, 1).
double CohortDraw(uint64_t seed, uint32_t client);
