// Scaffold: replaced by the plan command.
#include <cstdio>

#include "exit_status.h"
#include "plan/plan_command.h"

int RunPlanCommand(int, char*[]) {
  std::fputs("plumix-publish plan: not built yet\n", stderr);
  return kExitUsage;
}
