#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plan/fleet_simulation.h"
#include "plan/plan_settings.h"

// What the origin saw in one day or in the whole run.
struct PeriodFigures {
  uint64_t requests = 0;
  double meanRequestsPerSecond = 0;
  uint32_t peakRequestsPerSecond = 0;
  uint64_t peakRequestsPerMinute = 0;
  uint64_t downloads = 0;
  uint64_t failedDownloads = 0;
  double peakGbitPerSecond = 0;
  double terabytesSent = 0;        // 10^12 bytes
  uint64_t newVersionClients = 0;  // at the end of the period
  uint64_t checkIntervals = 0;     // checks that had an earlier one
  double meanCheckIntervalHours = 0;
};

// One day of the release, from the announcement on.
struct ReleaseFigures {
  int day = 0;
  double shownPercent = 0;         // the rollout's share at the day's end
  uint64_t newVersionClients = 0;  // at the day's end
  uint64_t downloads = 0;
  uint64_t repeatDownloads = 0;
  uint64_t returningChecks = 0;
  int64_t attemptLimitClients = 0;  // clients with 7 attempts at the day's end
  uint32_t mostAttempts = 0;
  double healthPercent = 0;
};

// Fleet shares whose time to the new version is reported.
constexpr double kAdoptionShares[] = {0.50, 0.90, 0.99};
constexpr std::size_t kAdoptionShareCount = sizeof(kAdoptionShares) / sizeof(kAdoptionShares[0]);

struct PlanSummary {
  std::vector<PeriodFigures> days;
  PeriodFigures run;
  std::vector<ReleaseFigures> release;
  // Minutes from the announcement until each share of kAdoptionShares ran the
  // new version; -1 when that did not happen within the run.
  int64_t minutesToShare[kAdoptionShareCount] = {-1, -1, -1};
  uint32_t notifyClients = 0;
  int gateDay = -1;
};

PlanSummary SummarizePlan(const PlanSettings& settings, const PlanRecord& record);

// The figures as printed: the settings and assumptions, one line per day, one
// for the whole run, the release day by day with its health signal, the times
// to the new version and the attempt limit's toll.
std::string FormatPlanReport(const PlanSettings& settings, const PlanSummary& summary);
