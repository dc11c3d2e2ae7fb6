#include "common/platform_access.h"
#include "service/process_entry.h"

int wmain(int argumentCount, wchar_t** arguments) {
  return RunProcessEntry(argumentCount, arguments, kSystemPlatform);
}
