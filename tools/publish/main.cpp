// plumix-publish: publishes a release of the plug-in's installers as a static
// tree that every client accepts, checks a published tree, and plans what a
// fleet asks of the origin.
#include <cstdio>
#include <cstring>

#include "check/check_command.h"
#include "exit_status.h"
#include "health/health_command.h"
#include "plan/plan_command.h"
#include "release/release_command.h"
#include "rollout/rollout_command.h"

namespace {

const char kUsage[] =
    "usage: plumix-publish COMMAND [OPTION]...\n"
    "\n"
    "commands:\n"
    "  release   sign the four installers and write a release tree that every client accepts\n"
    "  check     check a published tree, from a folder or a live host, as the clients see it\n"
    "  plan      simulate what a fleet of clients asks of the update origin\n"
    "  rollout   show a stored release to a share of the addresses first: start, set, halt,\n"
    "            resume, complete, advance, status\n"
    "  health    read the origin's access logs: what each cohort fetched, and whether a\n"
    "            rollout's candidate takes\n"
    "\n"
    "plumix-publish COMMAND --help lists the options of a command.\n";

}  // namespace

int main(int argc, char* argv[]) {
  if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return kExitDone;
  }
  if (argc >= 2) {
    if (std::strcmp(argv[1], "release") == 0) return RunReleaseCommand(argc - 1, argv + 1);
    if (std::strcmp(argv[1], "check") == 0) return RunCheckCommand(argc - 1, argv + 1);
    if (std::strcmp(argv[1], "plan") == 0) return RunPlanCommand(argc - 1, argv + 1);
    if (std::strcmp(argv[1], "health") == 0) return RunHealthCommand(argc - 1, argv + 1);
    if (std::strcmp(argv[1], "rollout") == 0) return RunRolloutCommand(argc - 1, argv + 1);
  }
  std::fputs(kUsage, stderr);
  return kExitUsage;
}
