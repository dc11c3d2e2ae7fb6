#pragma once

#include <windows.h>

#include "common/platform_access.h"

// kSystemPlatform with one member replaced, e.g.
// PlatformWith(&PlatformAccess::getFolderPath, FailingFolderQuery).
template <typename Member, typename Value>
PlatformAccess PlatformWith(Member PlatformAccess::*member, Value value) {
  PlatformAccess platform = kSystemPlatform;
  platform.*member = value;
  return platform;
}

// Stand-ins for SHGetFolderPathW: one that asks the system and counts its
// calls (folderQueries) and the folder of the last (lastFolderConstant), and
// one that always fails.
extern int folderQueries;
extern int lastFolderConstant;
HRESULT WINAPI CountingFolderQuery(HWND window, int folder, HANDLE token, DWORD flags, LPWSTR path);
HRESULT WINAPI FailingFolderQuery(HWND window, int folder, HANDLE token, DWORD flags, LPWSTR path);
