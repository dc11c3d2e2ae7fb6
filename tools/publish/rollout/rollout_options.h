#pragma once

#include <string>
#include <vector>

#include "health/health_gate.h"
#include "release/release_options.h"

enum class RolloutAction { Start, Set, Halt, Resume, Complete, Advance, Status };

struct RolloutOptions {
  RolloutAction action = RolloutAction::Status;
  std::string dir;
  std::string release;  // start: the stored release to roll out
  bool hasPercent = false;
  double percent = 0;
  std::vector<std::string> canaries;
  std::vector<std::string> trustedProxies;
  std::vector<double> steps;  // start: the ramp
  double stepHours = 0;
  std::string reason;
  std::string nginxConf;  // "" for nginx's own default configuration file
  std::string reloadCommand = "nginx -s reload";
  bool json = false;
  HealthGateOptions gate;  // advance: the access logs and the gate's limits
};

// plumix-publish rollout ACTION DIR [OPTION]... (argv[0] is "rollout").
// Invalid, with the problem in error, for an unknown action or option, an
// option the action does not take, a missing or repeated value, a share
// that is not a number from 0 to 100 with at most two decimals, or a ramp
// whose steps do not rise.
OptionsResult ParseRolloutOptions(int argc, char* argv[], RolloutOptions& options,
                                  std::string& error);

// Reads a share of the addresses: "5", "0.25", "100"; at most two decimals.
bool ParsePercent(const std::string& text, double& percent);

// The action's name on the command line and in the history: "start", ...
const char* RolloutActionName(RolloutAction action);

extern const char kRolloutUsage[];
