#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What a staged rollout serves, kept in the release store of DIR
// (DIR/.plumix-publish/rollout.json): which stored release is current,
// which one is the candidate and for whom, and every change made.

struct RolloutHistoryEntry {
  int64_t time = 0;     // seconds since 1970, UTC
  std::string action;   // "publish", "start", "set", "halt", "resume", "complete", "advance"
  std::string release;  // the release the change concerned
  double percent = 0;   // the candidate's share after the change
  std::string reason;
};

struct RolloutState {
  std::string current;                      // the release everyone else sees ("" before any)
  std::string candidate;                    // "" when no rollout is under way
  double percent = 0;                       // the candidate's share of the addresses
  std::string salt;                         // drawn for each candidate; kept by halt and resume
  std::vector<std::string> canaries;        // CIDR ranges that always see the candidate
  std::vector<std::string> trustedProxies;  // CIDR ranges whose X-Forwarded-For is believed
  std::vector<double> steps;                // the ramp, in percent; empty without a ramp
  double stepHours = 0;                     // time between two steps of the ramp
  int64_t stepStarted = 0;                  // when the present step began (seconds, UTC)
  bool halted = false;                      // 0 % for now; resume restores percent
  std::vector<RolloutHistoryEntry> history;

  // Whether what a client is served depends on its address now.
  bool Varies() const;
  // The candidate's share in force: 0 while halted.
  double EffectivePercent() const;
};

// Reads the state of the release store in dir. A store without a state file
// (a release published, no rollout ever started) gives an empty state with
// current set from what is served. False, with the reason, for a state file
// that cannot be read or is not such a state.
bool LoadRolloutState(const std::string& dir, RolloutState& state, std::string& error);

// Writes the state beside the old one, flushes it and renames it into place,
// so that a crash leaves the old state or the new one, whole.
bool SaveRolloutState(const std::string& dir, const RolloutState& state, std::string& error);

// The state as its JSON text, and back (false for text that is not a state).
std::string RolloutStateText(const RolloutState& state);
bool ParseRolloutState(const std::string& text, RolloutState& state);
