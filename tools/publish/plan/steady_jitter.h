#pragma once

#include <vector>

// The start-up jitter of an always-on client's checks in the steady state.
// A check comes 24 hours after the one before only when its request comes
// more than the fetch later than that one's, so the jitter of a check
// depends on the one before: with jitters drawn uniformly from 0 to J per
// firing, the jitter of a check has the density (F(x - fetch) + 1 - p) / J,
// F its own distribution and p the share of 24-hour steps. Solved here on a
// grid.
class SteadyJitter {
 public:
  SteadyJitter(double jitterSeconds, double fetchSeconds);

  // The share of checks that come 24 hours after the one before.
  double TwentyFourHourShare() const { return twentyFourHourShare_; }

  // The jitter of a check, in seconds, for a uniform draw from [0, 1).
  double JitterFor(double draw) const;

 private:
  double jitterSeconds_;
  double gridStep_;
  std::vector<double> distribution_;  // F on the grid, from 0 to 1
  double twentyFourHourShare_;
};
