#include "common/platform_access.h"

#include <objbase.h>
#include <shlobj.h>

#include "net/download_limits.h"

const PlatformAccess kSystemPlatform{
    ::SetServiceStatus, ::CoCreateGuid,    ::SHGetFolderPathW,  ::GetSystemTime,
    ::LoadLibraryW,     kMaxPackageBytes, kMaxDownloadSeconds,
};
