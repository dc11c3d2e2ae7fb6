// The service as shipped, but for its bounds: the end-to-end tests meet them
// in seconds instead of minutes or hours. Never shipped; test_network_faults
// installs these builds in place of the program.
//   plumix-service-short-download: every network wait 5 s, the watchdog's
//     grace 10 s (the whole cycle as shipped);
//   plumix-service-short-cycle (PLUMIX_SHORT_CYCLE): the whole cycle 15 s,
//     every other bound as shipped.
#include "common/platform_access.h"
#include "service/process_entry.h"

namespace {

#if defined(PLUMIX_SHORT_CYCLE)
void Shorten(ServiceBounds& bounds) { bounds.cycleSeconds = 15; }
#else
void Shorten(ServiceBounds& bounds) {
  bounds.downloadSeconds = 5;
  bounds.manifestSeconds = 5;
  bounds.packageHeadersSeconds = 5;
  bounds.graceSeconds = 10;
}
#endif

}  // namespace

int wmain(int argumentCount, wchar_t** arguments) {
  PlatformAccess platform = kSystemPlatform;
  Shorten(platform.bounds);
  return RunProcessEntry(argumentCount, arguments, platform);
}
