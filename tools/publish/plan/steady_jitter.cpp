#include "plan/steady_jitter.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kGridSteps = 4096;

// Linear interpolation of grid values at x; 0 below the grid.
double ValueAt(const std::vector<double>& values, double step, double x) {
  if (x <= 0) return 0;
  double place = x / step;
  std::size_t below = std::min(static_cast<std::size_t>(place), values.size() - 2);
  double part = place - static_cast<double>(below);
  return values[below] + part * (values[below + 1] - values[below]);
}

}  // namespace

SteadyJitter::SteadyJitter(double jitterSeconds, double fetchSeconds)
    : jitterSeconds_(jitterSeconds),
      gridStep_(jitterSeconds / kGridSteps),
      distribution_(kGridSteps + 1, 0.0),
      twentyFourHourShare_(0) {
  if (jitterSeconds <= fetchSeconds) {
    for (int step = 0; step <= kGridSteps; ++step) distribution_[step] = double(step) / kGridSteps;
    return;
  }
  // G' = (G(x - fetch) + 1) / J from G(0) = 0 (trapezoids); F = G / G(J) and
  // 1 - p = 1 / G(J).
  std::vector<double>& g = distribution_;
  auto slope = [&](int step) {
    return (ValueAt(g, gridStep_, step * gridStep_ - fetchSeconds) + 1) / jitterSeconds;
  };
  for (int step = 0; step < kGridSteps; ++step) {
    g[step + 1] = g[step] + gridStep_ * (slope(step) + slope(step + 1)) / 2;
  }
  double total = g[kGridSteps];
  twentyFourHourShare_ = 1 - 1 / total;
  for (double& value : g) value /= total;
}

double SteadyJitter::JitterFor(double draw) const {
  auto above = std::upper_bound(distribution_.begin(), distribution_.end(), draw);
  std::size_t step = static_cast<std::size_t>(above - distribution_.begin());
  if (step == 0) return 0;
  if (step >= distribution_.size()) return jitterSeconds_;
  double low = distribution_[step - 1], high = distribution_[step];
  double part = high > low ? (draw - low) / (high - low) : 0;
  return (static_cast<double>(step - 1) + part) * gridStep_;
}
