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

// Writes every byte through the platform's writeFile. A short write is
// followed by one for the rest, so that a disk that fills fails with its own
// error (ERROR_DISK_FULL) however the platform splits the writes; a call that
// writes nothing without failing ends with ERROR_WRITE_FAULT.
bool WriteWhole(const PlatformAccess& platform, HANDLE file, const void* data, DWORD length);
