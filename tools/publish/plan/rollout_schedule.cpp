#include "plan/rollout_schedule.h"

#include "plan/plan_time.h"
#include "plan/seeded_draw.h"

RolloutSchedule::RolloutSchedule(const PlanSettings& settings)
    : seed_(settings.seed),
      releaseMinute_(settings.releaseDay * kMinutesPerDay),
      stepMinutes_(settings.stepHours * int64_t{60}),
      steps_(settings.rolloutPercent),
      canaries_(settings.canaryClients) {}

double RolloutSchedule::SharePercentAt(int64_t minute) const {
  if (minute < releaseMinute_ || minute >= haltMinute_ || steps_.empty()) return 0;
  int64_t step = (minute - releaseMinute_) / stepMinutes_;
  return steps_[step < static_cast<int64_t>(steps_.size()) ? step : steps_.size() - 1];
}

bool RolloutSchedule::ShowsNewVersion(uint32_t client, int64_t minute) const {
  if (minute < releaseMinute_ || minute >= haltMinute_) return false;
  return client < canaries_ || CohortDraw(seed_, client) < SharePercentAt(minute) / 100.0;
}

double CohortDraw(uint64_t seed, uint32_t client) {
  return DrawUnit(seed, client, DrawPurpose::kCohort, 0);
}
