#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "health/cohort_timeline.h"
#include "health/combined_log_line.h"
#include "health/release_traffic.h"

// What the service asks of the origin: the manifest, with its user agent,
// or one of the four packages, with the package user agent, each a GET.
enum class ServiceRequest { kNone, kManifest, kPackage };

// The kind of request; slot is the package's slot for kPackage.
ServiceRequest ClassifyServiceRequest(const LogRequest& request, int& slot);

// What reading the logs met besides the service's requests.
struct LogCounts {
  uint64_t lines = 0;
  uint64_t otherFormat = 0;  // not in the combined format: skipped
  uint64_t otherRequests = 0;  // other user agents, paths or methods
  uint64_t badAddresses = 0;   // a service request from text that is no address
  int64_t lastTime = 0;        // the latest request's time
};

// Reads the logs oldest first, each request placed in its cohort by the
// timeline, into tally (then finished). False, with the reason, for a log
// that cannot be opened or read to its end; a line of another format is
// counted and skipped.
bool TallyAccessLogs(const std::vector<std::string>& paths, const CohortTimeline& timeline,
                     ReleaseTrafficTally& tally, LogCounts& counts, std::string& error);
