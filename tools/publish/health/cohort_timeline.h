#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cohort/cohort.h"
#include "health/release_traffic.h"

struct RolloutState;

// Which cohort an address was in at any moment of a rollout: the rollout's
// shares and halts over time, placed with the same cohort function as the
// served configuration.
class CohortTimeline {
 public:
  struct Step {
    int64_t since = 0;  // seconds since 1970, UTC
    double percent = 0;
    bool halted = false;
  };

  // Replaces the timeline with the candidate's rollout in state (from its
  // latest start). Without a candidate everyone is in the control cohort.
  // False, with the reason, for canary ranges that do not read.
  bool Load(const RolloutState& state, std::string& error);

  // The cohort of address (as nginx logs it; key its cohort key) at time.
  Cohort Place(const std::string& address, const std::string& key, int64_t time) const;

  bool HasCandidate() const { return !steps_.empty(); }
  // When the candidate was first served (0 without a candidate).
  int64_t Start() const { return steps_.empty() ? 0 : steps_.front().since; }
  // For how long, in days, the candidate was served to anyone up to asOf:
  // halts do not count.
  double ExposedDays(int64_t asOf) const;

 private:
  bool Serves(const Step& step) const;

  std::string salt_;
  CanaryRanges canaries_;
  bool hasCanaries_ = false;
  std::vector<Step> steps_;
};
