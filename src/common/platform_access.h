#pragma once

#include <windows.h>

#include <cstdint>

#include "net/download_limits.h"

// The platform calls that tests replace and the bounds they shorten, in one
// object. The program uses kSystemPlatform; a test copies it,
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
  // WriteFile: how the download file and the installer file are written.
  BOOL(WINAPI* writeFile)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
  // The bounds of the cycle's waits: kServiceBounds in the program.
  ServiceBounds bounds;
};

extern const PlatformAccess kSystemPlatform;

// One call of the platform's writeFile that must write every byte; a short
// write fails with ERROR_WRITE_FAULT, as a failed call fails with its own
// error.
bool WriteWhole(const PlatformAccess& platform, HANDLE file, const void* data, DWORD length);
