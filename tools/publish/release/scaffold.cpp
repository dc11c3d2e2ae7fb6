// Scaffold: replaced by the release and check commands.
#include <cstdio>

#include "exit_status.h"
#include "release/check_command.h"
#include "release/release_command.h"

int RunReleaseCommand(int, char*[]) {
  std::fputs("plumix-publish release: not built yet\n", stderr);
  return kExitUsage;
}

int RunCheckCommand(int, char*[]) {
  std::fputs("plumix-publish check: not built yet\n", stderr);
  return kExitUsage;
}
