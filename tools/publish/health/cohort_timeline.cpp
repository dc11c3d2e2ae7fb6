#include "health/cohort_timeline.h"

#include <algorithm>

#include "store/rollout_state.h"

namespace {

// The steps of the rollout of state's candidate, from its latest start.
std::vector<CohortTimeline::Step> CandidateSteps(const RolloutState& state) {
  std::vector<CohortTimeline::Step> steps;
  for (const RolloutHistoryEntry& entry : state.history) {
    if (entry.action == "start" && entry.release == state.candidate) steps.clear();
    if (entry.release != state.candidate) continue;
    if (steps.empty() && entry.action != "start") continue;
    CohortTimeline::Step step;
    step.since = entry.time;
    step.percent = entry.percent;
    step.halted = entry.action == "halt";  // every other change serves the candidate again
    steps.push_back(step);
  }
  return steps;
}

}  // namespace

bool CohortTimeline::Load(const RolloutState& state, std::string& error) {
  if (!canaries_.Parse(state.canaries, error)) return false;
  salt_ = state.salt;
  hasCanaries_ = !state.canaries.empty();
  steps_.clear();
  if (!state.candidate.empty()) steps_ = CandidateSteps(state);
  return true;
}

Cohort CohortTimeline::Place(const std::string& address, const std::string& key,
                             int64_t time) const {
  auto after = std::upper_bound(steps_.begin(), steps_.end(), time,
                                [](int64_t at, const Step& step) { return at < step.since; });
  if (after == steps_.begin()) return Cohort::kControl;
  const Step& step = *(after - 1);
  if (step.halted) return Cohort::kControl;
  if (hasCanaries_ && canaries_.Contains(address)) return Cohort::kCandidate;
  return InShare(salt_, key, step.percent) ? Cohort::kCandidate : Cohort::kControl;
}

bool CohortTimeline::Serves(const Step& step) const {
  return !step.halted && (step.percent > 0 || hasCanaries_);
}

double CohortTimeline::ExposedDays(int64_t asOf) const {
  int64_t seconds = 0;
  for (size_t index = 0; index < steps_.size(); ++index) {
    const Step& step = steps_[index];
    int64_t end = index + 1 < steps_.size() ? std::min(steps_[index + 1].since, asOf) : asOf;
    if (Serves(step) && end > step.since) seconds += end - step.since;
  }
  return seconds / 86400.0;
}
