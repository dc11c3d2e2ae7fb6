#pragma once

#include <cstdint>
#include <string>

#include "rollout/rollout_options.h"
#include "store/rollout_state.h"

enum class ChangeResult { Changed, Unchanged, Refused };

// The state after a change (start, set, halt, resume, complete) made at now,
// with the change appended to the history: the reason given, or one that
// says what was done. salt is the fresh salt a start draws. Refused, with
// the reason in message, for a change the state does not allow; Unchanged,
// with what is already so in message, for a halt of a halted rollout.
ChangeResult ChangeRollout(const RolloutOptions& options, int64_t now, const std::string& salt,
                           const RolloutState& before, RolloutState& after, std::string& message);

// A fresh salt: 16 lower-case hexadecimal digits from the system's random
// source. False when it cannot be read.
bool DrawSalt(std::string& salt);

// "5%", "12.5%", "0.25%".
std::string PercentText(double percent);
