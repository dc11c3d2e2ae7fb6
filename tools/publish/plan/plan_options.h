#pragma once

#include <string>
#include <vector>

#include "plan/plan_settings.h"

// What the plan command line asks for.
struct PlanOptions {
  PlanSettings settings;
  std::string csvPath;   // empty: no CSV
  std::string plotPath;  // empty: no plot
  bool help = false;
  // As given, before the package sizes of the settings are settled from them.
  double packageMiB = 0;
  double variantMiB[kVariantCount] = {0, 0};
  bool haveFrequency = false;
};

extern const char kPlanUsage[];

// Reads the arguments after "plan". False with a one-line reason for an
// unknown option, a missing or bad value, options that contradict each
// other, or a missing required option (--clients, --check-frequency, and
// --package-mib unless both variants' sizes are given) unless --help is
// given. A repeated option takes its last value.
bool ParsePlanOptions(const std::vector<std::string>& arguments, PlanOptions& options,
                      std::string& error);
