#pragma once

#include <string>

#include "plan/plan_settings.h"

// The plot script: plan_plot.py next to the running program when there is
// one, else the one in the source tree the program was built from.
std::string PlanPlotScript();

// Draws the per-minute CSV of a run (WritePlanCsv) as a PNG through
// /usr/bin/python3 and the plot script, the release marked. Written beside the
// path and renamed into place; false with the reason when the script failed,
// and then no file is left.
bool DrawPlanPlot(const std::string& csvPath, const std::string& pngPath,
                  const PlanSettings& settings, std::string& error);
