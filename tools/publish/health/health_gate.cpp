#include "health/health_gate.h"

#include <climits>
#include <cstdio>

#include "health/cohort_timeline.h"
#include "store/rollout_state.h"
#include "store/stored_release.h"

namespace {

constexpr int64_t kFullDay = 86400;

// The package sizes of a stored release into one cohort's row; a cohort
// without a release keeps zeros.
bool LoadSizes(const std::string& dir, const std::string& release, Cohort cohort,
               ServedPackageSizes& sizes, std::string& error) {
  if (release.empty()) return true;
  ReleaseRecord record;
  if (!LoadStoredRelease(dir, release, record, error)) return false;
  for (int slot = 0; slot < kPackageCount; ++slot) {
    sizes.bytes[static_cast<int>(cohort)][slot] = record.packages[slot].size;
  }
  return true;
}

std::string Decimal(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

std::string Percent(double value) { return Decimal(value) + " %"; }

}  // namespace

void JudgeSignal(const HealthGateOptions& options, bool hasCandidate, HealthReport& report) {
  const SignalFigures& candidate = report.tally->Signal(Cohort::kCandidate);
  const SignalFigures& control = report.tally->Signal(Cohort::kControl);
  if (!hasCandidate) {
    report.verdict = HealthVerdict::kTooEarly;
    report.reason = "no candidate is being rolled out";
    return;
  }
  if (candidate.fetches == 0) {
    report.verdict = HealthVerdict::kTooEarly;
    report.reason = "no manifest fetch of the candidate cohort yet a full day after it first saw "
                    "the candidate";
    return;
  }
  double excess = candidate.RepeatPercent() - control.RepeatPercent();
  std::string figures = Percent(candidate.RepeatPercent()) + " of the candidate cohort's " +
                        std::to_string(candidate.fetches) + " manifest fetches (" +
                        std::to_string(candidate.addresses) +
                        " addresses) were followed by a repeated download, against " +
                        Percent(control.RepeatPercent()) + " in the control cohort";
  if (candidate.addresses < options.minClients) {
    report.verdict = HealthVerdict::kTooEarly;
    report.reason = figures + "; at least " + std::to_string(options.minClients) +
                    " addresses are needed for a verdict";
  } else if (excess > options.maxRepeatPercent) {
    report.verdict = HealthVerdict::kFail;
    report.reason = figures + ": more than " + Decimal(options.maxRepeatPercent) + " points above";
  } else {
    report.verdict = HealthVerdict::kPass;
    report.reason = figures;
  }
}

bool CheckReleaseHealth(const std::string& dir, const HealthGateOptions& options,
                        HealthReport& report, std::string& error) {
  RolloutState state;
  CohortTimeline timeline;
  ServedPackageSizes sizes;
  if (!LoadRolloutState(dir, state, error) || !timeline.Load(state, error) ||
      !LoadSizes(dir, state.current, Cohort::kControl, sizes, error) ||
      !LoadSizes(dir, state.candidate, Cohort::kCandidate, sizes, error)) {
    return false;
  }
  report.current = state.current;
  report.candidate = state.candidate;
  report.percent = state.percent;
  report.halted = state.halted;
  report.signalStart = timeline.HasCandidate() ? timeline.Start() + kFullDay : INT64_MAX;
  report.tally = std::make_unique<ReleaseTrafficTally>(report.signalStart, sizes);
  if (!TallyAccessLogs(options.accessLogs, timeline, *report.tally, report.counts, error)) {
    return false;
  }
  report.exposedDays = timeline.ExposedDays(report.counts.lastTime);
  JudgeSignal(options, timeline.HasCandidate(), report);
  return true;
}
