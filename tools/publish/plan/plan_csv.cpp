#include "plan/plan_csv.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>

#include "plan/plan_time.h"

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

void WriteMinute(std::FILE* file, const PlanRecord& record, int64_t minute, uint64_t newVersion) {
  uint32_t requests = 0, peakRequests = 0;
  double bytes = 0, peakBytes = 0;
  for (int64_t second = minute * kSecondsPerMinute; second < (minute + 1) * kSecondsPerMinute;
       ++second) {
    std::size_t at = static_cast<std::size_t>(second);
    requests += record.requests[at];
    peakRequests = std::max(peakRequests, record.requests[at]);
    bytes += record.packageBytes[at];
    peakBytes = std::max(peakBytes, record.packageBytes[at]);
  }
  std::size_t at = static_cast<std::size_t>(minute);
  int64_t ofDay = minute % kMinutesPerDay;
  std::fprintf(file, "%" PRId64 ",%" PRId64 ",%02d:%02d,%u,%u,%u,%u,%.4f,%.4f,%" PRIu64 "\n",
               minute, minute / kMinutesPerDay, static_cast<int>(ofDay / 60),
               static_cast<int>(ofDay % 60), requests, peakRequests, record.downloads[at],
               record.failedDownloads[at], bytes * 8 / 1e9 / kSecondsPerMinute, peakBytes * 8 / 1e9,
               newVersion);
}

}  // namespace

bool WritePlanCsv(const std::string& path, const PlanSettings& settings, const PlanRecord& record,
                  std::string& error) {
  std::string partial = path + ".partial";
  bool written = false;
  {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(partial.c_str(), "w"));
    if (!file) {
      error = partial + ": " + std::strerror(errno);
      return false;
    }
    std::fputs(
        "minute,day,time,requests,peak_requests_per_second,downloads,failed_downloads,"
        "mean_gbit_per_second,peak_gbit_per_second,new_version_clients\n",
        file.get());
    uint64_t newVersion = 0;
    for (int64_t minute = 0; minute < settings.days * kMinutesPerDay; ++minute) {
      newVersion += record.newVersionStarts[static_cast<std::size_t>(minute)];
      WriteMinute(file.get(), record, minute, newVersion);
    }
    written = std::fflush(file.get()) == 0 && std::ferror(file.get()) == 0;
    if (!written) error = partial + ": " + std::strerror(errno);
  }
  if (written && std::rename(partial.c_str(), path.c_str()) != 0) {
    error = path + ": " + std::strerror(errno);
    written = false;
  }
  if (!written) std::remove(partial.c_str());
  return written;
}
