#pragma once

#include <cstdint>
#include <vector>

// Package downloads over the run, to the fraction of a second. Every client
// downloads at the same rate, so what the origin sends in a second is that
// rate times the download time that falls into the second.
class PackageTraffic {
 public:
  // For a run of that many seconds from day 0.
  explicit PackageTraffic(int64_t seconds);

  // A download from `start` (seconds from day 0) lasting `duration` seconds;
  // what falls outside the run is dropped.
  void Add(double start, double duration);

  // Per second of the run: the download time within it, in seconds (the
  // downloads running through the whole second, plus the parts of those that
  // start or end within it).
  std::vector<double> DownloadTimePerSecond() const;

 private:
  std::vector<int32_t> wholeChanges_;  // downloads running whole seconds, as changes per second
  std::vector<double> edges_;          // parts of seconds at the downloads' starts and ends
};
