#pragma once

#include <cstdint>

#include "store/rollout_state.h"

enum class RampMove {
  kNone,      // no ramp, no candidate, halted, or a ramp that ends below 100 %
  kWait,      // the next move's time has not come
  kStep,      // time to show the candidate to the next step's share
  kComplete,  // the last step (100 %) has held for its time: complete
};

// What the ramp asks for at now: the present step began at stepStarted and
// lasts stepHours; the next step is the first one above the share in force.
// nextPercent and dueAt are set for every move but kNone.
RampMove NextRampMove(const RolloutState& state, int64_t now, double& nextPercent, int64_t& dueAt);
