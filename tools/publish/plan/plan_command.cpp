#include "plan/plan_command.h"

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "exit_status.h"
#include "plan/client_fleet.h"
#include "plan/fleet_simulation.h"
#include "plan/plan_csv.h"
#include "plan/plan_options.h"
#include "plan/plan_plot.h"
#include "plan/plan_report.h"
#include "plan/seeded_draw.h"
#include "plan/uptime.h"

namespace {

const char kName[] = "plumix-publish plan";

void ShowProgress(int day, int days) {
  std::fprintf(stderr, "\r%s: simulating day %d of %d", kName, day + 1, days);
  if (day + 1 == days) std::fputc('\n', stderr);
}

int Refuse(const std::string& reason) {
  std::fprintf(stderr, "%s: %s\n", kName, reason.c_str());
  return kExitRefused;
}

// The CSV and the plot; the plot reads a CSV, a temporary one beside the PNG
// when none was asked for.
int WriteOutputs(const PlanOptions& options, const PlanRecord& record) {
  std::string error;
  std::string csvPath = options.csvPath;
  if (csvPath.empty() && !options.plotPath.empty()) csvPath = options.plotPath + ".csv.partial";
  if (!csvPath.empty() && !WritePlanCsv(csvPath, options.settings, record, error)) {
    return Refuse(error);
  }
  if (options.plotPath.empty()) return kExitDone;
  bool drawn = DrawPlanPlot(csvPath, options.plotPath, options.settings, error);
  if (options.csvPath.empty()) std::remove(csvPath.c_str());
  return drawn ? kExitDone : Refuse(error);
}

}  // namespace

int RunPlanCommand(int argc, char* argv[]) {
  PlanOptions options;
  std::string error;
  if (!ParsePlanOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
    std::fprintf(stderr, "%s: %s\n%s", kName, error.c_str(), kPlanUsage);
    return kExitUsage;
  }
  if (options.help) {
    std::fputs(kPlanUsage, stdout);
    return kExitDone;
  }
  const PlanSettings& settings = options.settings;
  UptimeModel uptime(settings.uptime, settings.seed);
  Fleet fleet;
  if (!MakeFleet(settings, uptime, SeededStartDraws(settings.seed), fleet)) {
    return Refuse("the service's start boundary has a form this plan cannot read");
  }
  PlanRecord record =
      SimulateFleet(settings, fleet, isatty(STDERR_FILENO) ? ShowProgress : nullptr);
  std::fputs(FormatPlanReport(settings, SummarizePlan(settings, record)).c_str(), stdout);
  std::fflush(stdout);
  return WriteOutputs(options, record);
}
