#pragma once

#include <string>

#include "health/health_gate.h"

// The report as lines for a person: the rollout, the logs read, one row per
// day and cohort, the signal and the verdict.
std::string HealthReportText(const HealthReport& report);

// The same as one JSON document.
std::string HealthReportJson(const HealthReport& report);

// "pass", "fail" or "too-early".
const char* VerdictName(HealthVerdict verdict);
