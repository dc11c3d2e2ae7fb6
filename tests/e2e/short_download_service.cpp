// The service as shipped, but for the download time bound: the end-to-end
// tests drip a package past these few seconds instead of two hours. Never
// shipped; test_network_faults installs it in place of the program.
#include "common/platform_access.h"
#include "service/process_entry.h"

namespace {

constexpr uint32_t kShortDownloadSeconds = 5;

}  // namespace

int wmain(int argumentCount, wchar_t** arguments) {
  PlatformAccess platform = kSystemPlatform;
  platform.bounds.downloadSeconds = kShortDownloadSeconds;
  return RunProcessEntry(argumentCount, arguments, platform);
}
