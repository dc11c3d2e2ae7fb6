#pragma once

#include <ctime>
#include <string>

#include "release/release_options.h"
#include "store/rollout_state.h"
#include "store/store_session.h"
#include "tree/findings.h"

// The release command's side of the release store of DIR (options.out).

// Opens DIR's store for the release (making DIR and the store if missing,
// taking the lock), reads its rollout state and checks that DIR's served
// paths can be the store's links. Each failure is a refusal naming DIR.
bool OpenReleaseStore(const ReleaseOptions& options, StoreSession& store, RolloutState& state,
                      Findings& findings);

// Refuses a release the rollout under way does not allow: one for everyone
// while a candidate is being rolled out (publish it with --candidate, or
// end that rollout first), a candidate in a folder that serves no release
// yet, or a candidate that is the release DIR serves to everyone already.
void CheckRolloutAllows(const ReleaseOptions& options, const RolloutState& state,
                        const std::string& name, Findings& findings);

// The tree --previous names, or, without it, DIR itself when it serves a
// release; "" when there is nothing to compare with.
std::string PreviousRelease(const ReleaseOptions& options);

// After the release was stored as name: serves it to everyone (unless it is
// a candidate) and records the change in the rollout state's history.
bool RecordRelease(const ReleaseOptions& options, const std::string& name, time_t now,
                   RolloutState& state, Findings& findings);
