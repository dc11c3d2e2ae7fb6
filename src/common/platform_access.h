#pragma once

#include <windows.h>

#include <cstdint>

// The platform calls that tests replace and the download bounds they
// shorten, in one object. The program uses kSystemPlatform; a test copies it,
// changes what it needs and hands its copy in, so nothing a test changes
// outlives it.
struct PlatformAccess {
  // SetServiceStatus: where the service's status reports go.
  BOOL(WINAPI* setServiceStatus)(SERVICE_STATUS_HANDLE, LPSERVICE_STATUS);
  // CoCreateGuid: names the download folders.
  HRESULT(WINAPI* createGuid)(GUID*);
  // SHGetFolderPathW: the folder each file-manager location starts from.
  HRESULT(WINAPI* getFolderPath)(HWND, int, HANDLE, DWORD, LPWSTR);
  // GetSystemTime: the clock DeleteFilesByAge reads (UTC).
  void(WINAPI* getSystemTime)(LPSYSTEMTIME);
  // LoadLibraryW: how the package verifier loads crypt32.dll by full path.
  HMODULE(WINAPI* loadLibrary)(LPCWSTR);
  // The bounds of one package download: kMaxPackageBytes and
  // kMaxDownloadSeconds in the program.
  uint32_t maxPackageBytes;
  uint32_t maxDownloadSeconds;
};

extern const PlatformAccess kSystemPlatform;
