#include "common/platform_access.h"

#include <objbase.h>
#include <shlobj.h>

const PlatformAccess kSystemPlatform{
    ::SetServiceStatus, ::CoCreateGuid, ::SHGetFolderPathW, ::GetSystemTime,
    ::LoadLibraryW,     ::WriteFile,    kServiceBounds,
};

bool WriteWhole(const PlatformAccess& platform, HANDLE file, const void* data, DWORD length) {
  DWORD written = 0;
  if (!platform.writeFile(file, data, length, &written, nullptr)) return false;
  if (written == length) return true;
  SetLastError(ERROR_WRITE_FAULT);
  return false;
}
