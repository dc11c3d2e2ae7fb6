#pragma once

#include <string>

#include "plan/fleet_simulation.h"
#include "plan/plan_settings.h"

// Writes one line per minute of the run (after a header line): minute, day,
// time of day (UTC), manifest requests, their peak per second, downloads
// started, failed attempts, mean and peak package Gbit/s, and the clients
// running the new version by then. Written beside the path and renamed into
// place; false with the reason when it could not be written, and then no file
// is left.
bool WritePlanCsv(const std::string& path, const PlanSettings& settings, const PlanRecord& record,
                  std::string& error);
