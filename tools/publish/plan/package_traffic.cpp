#include "plan/package_traffic.h"

#include <algorithm>
#include <cmath>

PackageTraffic::PackageTraffic(int64_t seconds)
    : wholeChanges_(static_cast<std::size_t>(seconds) + 1, 0),
      edges_(static_cast<std::size_t>(seconds), 0.0) {}

void PackageTraffic::Add(double start, double duration) {
  double runEnd = static_cast<double>(edges_.size());
  double from = std::max(start, 0.0), to = std::min(start + duration, runEnd);
  if (to <= from) return;
  std::size_t first = static_cast<std::size_t>(std::floor(from));
  std::size_t last = static_cast<std::size_t>(std::floor(to));
  if (first == last) {
    edges_[first] += to - from;
    return;
  }
  edges_[first] += static_cast<double>(first + 1) - from;
  ++wholeChanges_[first + 1];
  --wholeChanges_[last];
  if (last < edges_.size()) edges_[last] += to - static_cast<double>(last);
}

std::vector<double> PackageTraffic::DownloadTimePerSecond() const {
  std::vector<double> time(edges_.size());
  int64_t running = 0;
  for (std::size_t second = 0; second < time.size(); ++second) {
    running += wholeChanges_[second];
    time[second] = static_cast<double>(running) + edges_[second];
  }
  return time;
}
