#include "health/service_requests.h"

#include <algorithm>

#include "health/access_log_file.h"
#include "tree/release_layout.h"

namespace {

// Whether a logged path ("/pub/...") is a tree path ("pub/...").
bool IsTreePath(std::string_view logged, const char* treePath) {
  return !logged.empty() && logged[0] == '/' && logged.substr(1) == treePath;
}

void TallyRequest(const LogRequest& request, const CohortTimeline& timeline,
                  ReleaseTrafficTally& tally, LogCounts& counts, std::string& key) {
  int slot = 0;
  ServiceRequest kind = ClassifyServiceRequest(request, slot);
  if (kind == ServiceRequest::kNone) {
    ++counts.otherRequests;
    return;
  }
  std::string address(request.address);
  if (!CohortKey(address, key)) {
    ++counts.badAddresses;
    return;
  }
  Cohort cohort = timeline.Place(address, key, request.time);
  if (kind == ServiceRequest::kManifest) {
    tally.AddManifestFetch(key, cohort, request.time);
  } else {
    tally.AddPackageDownload(key, cohort, request.time, slot, request.bytesSent);
  }
}

bool TallyFile(const std::string& path, const CohortTimeline& timeline, ReleaseTrafficTally& tally,
               LogCounts& counts, std::string& error) {
  AccessLogFile file;
  if (!file.Open(path, error)) return false;
  std::string_view line;
  LogRequest request;
  std::string key;
  while (file.NextLine(line)) {
    ++counts.lines;
    if (!ParseCombinedLine(line, request)) {
      ++counts.otherFormat;
      continue;
    }
    counts.lastTime = std::max(counts.lastTime, request.time);
    TallyRequest(request, timeline, tally, counts, key);
  }
  return !file.Failed(error);
}

}  // namespace

ServiceRequest ClassifyServiceRequest(const LogRequest& request, int& slot) {
  if (request.method != "GET") return ServiceRequest::kNone;
  if (request.userAgent == kManifestUserAgent) {
    if (request.status != 200 || !IsTreePath(request.path, kManifestPath)) {
      return ServiceRequest::kNone;
    }
    return ServiceRequest::kManifest;
  }
  if (request.userAgent != kPackageUserAgent) return ServiceRequest::kNone;
  for (int index = 0; index < kPackageCount; ++index) {
    if (IsTreePath(request.path, kPackageSlots[index].path)) {
      slot = index;
      return ServiceRequest::kPackage;
    }
  }
  return ServiceRequest::kNone;
}

bool TallyAccessLogs(const std::vector<std::string>& paths, const CohortTimeline& timeline,
                     ReleaseTrafficTally& tally, LogCounts& counts, std::string& error) {
  std::vector<std::string> ordered;
  if (!OrderLogFilesByTime(paths, ordered, error)) return false;
  for (const std::string& path : ordered) {
    if (!TallyFile(path, timeline, tally, counts, error)) return false;
  }
  tally.Finish();
  return true;
}
