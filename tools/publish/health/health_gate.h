#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "health/release_traffic.h"
#include "health/service_requests.h"

// What the health gate reads and where its limits lie.
struct HealthGateOptions {
  std::vector<std::string> accessLogs;  // combined format, plain or .gz, any order
  double maxRepeatPercent = 10;  // candidate's repeat share above the control's, in points
  uint64_t minClients = 100;     // candidate addresses needed before the gate can fail
};

enum class HealthVerdict {
  kPass,      // the candidate takes as well as the current release
  kFail,      // the candidate does not take: halt it
  kTooEarly,  // no verdict yet: no full day with the candidate, or too few addresses
};

// Everything a health run found.
struct HealthReport {
  std::string current;
  std::string candidate;  // "" without a rollout
  double percent = 0;
  bool halted = false;
  int64_t signalStart = 0;  // fetches from then on count towards the signal
  double exposedDays = 0;   // the candidate served, halts not counted, up to the last request
  LogCounts counts;
  std::unique_ptr<ReleaseTrafficTally> tally;
  HealthVerdict verdict = HealthVerdict::kTooEarly;
  std::string reason;  // one line: why the verdict
};

// Reads the rollout state and the store of dir and the access logs, and
// judges the candidate. False, with the reason, when the state, a release's
// record or a log cannot be read; a verdict is then not given.
bool CheckReleaseHealth(const std::string& dir, const HealthGateOptions& options,
                        HealthReport& report, std::string& error);

// The verdict on a tally's signal (a helper of CheckReleaseHealth, exposed
// for its tests).
void JudgeSignal(const HealthGateOptions& options, bool hasCandidate, HealthReport& report);
