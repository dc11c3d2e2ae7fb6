#include "support/platform_doubles.h"

#include <shlobj.h>

int folderQueries = 0;
int lastFolderConstant = -1;

HRESULT WINAPI CountingFolderQuery(HWND window, int folder, HANDLE token, DWORD flags, LPWSTR path) {
  ++folderQueries;
  lastFolderConstant = folder;
  return SHGetFolderPathW(window, folder, token, flags, path);
}

HRESULT WINAPI FailingFolderQuery(HWND, int, HANDLE, DWORD, LPWSTR) { return E_FAIL; }
