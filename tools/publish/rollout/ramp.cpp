#include "rollout/ramp.h"

#include <cmath>

RampMove NextRampMove(const RolloutState& state, int64_t now, double& nextPercent, int64_t& dueAt) {
  if (state.candidate.empty() || state.halted || state.steps.empty()) return RampMove::kNone;
  bool last = true;
  for (double step : state.steps) {
    if (step > state.percent) {
      nextPercent = step;
      last = false;
      break;
    }
  }
  if (last && state.percent < 100) return RampMove::kNone;
  if (last) nextPercent = 100;
  dueAt = state.stepStarted + static_cast<int64_t>(std::llround(state.stepHours * 3600));
  if (now < dueAt) return RampMove::kWait;
  return last ? RampMove::kComplete : RampMove::kStep;
}
