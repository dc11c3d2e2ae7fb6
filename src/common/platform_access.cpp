#include "common/platform_access.h"

#include <objbase.h>
#include <shlobj.h>

#include <cstdint>

const PlatformAccess kSystemPlatform{
    ::SetServiceStatus, ::CoCreateGuid, ::SHGetFolderPathW, ::GetSystemTime,
    ::LoadLibraryW,     ::WriteFile,    kServiceBounds,
};

bool WriteWhole(const PlatformAccess& platform, HANDLE file, const void* data, DWORD length) {
  const uint8_t* rest = static_cast<const uint8_t*>(data);
  while (length > 0) {
    DWORD written = 0;
    if (!platform.writeFile(file, rest, length, &written, nullptr)) return false;
    if (written == 0) {
      SetLastError(ERROR_WRITE_FAULT);
      return false;
    }
    rest += written;
    length -= written;
  }
  return true;
}
