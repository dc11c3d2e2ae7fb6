#pragma once

#include <cstdint>
#include <string>

#include "store/rollout_state.h"

// The rollout state of DIR for people: the current release, the candidate
// with its share (or halted), canaries, the ramp's next move at now, and
// the history, one line per change.
std::string RolloutStatusText(const RolloutState& state, int64_t now);

// The same as one JSON document: the state's fields, plus "shownPercent"
// (the candidate's share in force) and, with a ramp, "next" {"action",
// "percent", "due"}.
std::string RolloutStatusJson(const RolloutState& state, int64_t now);
