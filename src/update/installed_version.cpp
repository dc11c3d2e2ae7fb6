#include "update/installed_version.h"

#include <windows.h>

#include "common/unique_handle.h"

#if defined(_M_IX86) || defined(__i386__)
static_assert(sizeof(wchar_t) == 2, "registry strings are read as UTF-16 units of two bytes");
#endif

namespace {

// 512 UTF-16 units, terminator included.
constexpr DWORD kVersionBytes = 1024;

// The plug-in's own registration; no registry-view flag, so the 32-bit service
// reads the 32-bit view, where the 32-bit installers write.
const wchar_t* PluginKeyOf(PluginVariant variant) {
  switch (variant) {
    case PluginVariant::ActiveX:
      return L"Software\\Wendral\\PlumixPlayerActiveX";
    case PluginVariant::Plugin:
      return L"Software\\Wendral\\PlumixPlayerPlugin";
  }
  return nullptr;
}

// A Version value is used only as a string whose terminator lies within the
// bytes that were read; anything else (a number, a binary blob, 1024 bytes
// without a terminator) would send the parse past the buffer.
bool IsTerminatedText(DWORD type, const wchar_t* text, DWORD bytes) {
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  for (DWORD unit = 0; unit < bytes / sizeof(wchar_t); ++unit) {
    if (text[unit] == L'\0') return true;
  }
  return false;
}

// isScriptDebugger read as a 4-byte number that starts at 0; any non-zero
// value marks a debugger build.
bool IsDebuggerBuild(HKEY key) {
  DWORD flag = 0;
  DWORD size = sizeof(flag);
  return RegQueryValueExW(key, L"isScriptDebugger", nullptr, nullptr,
                          reinterpret_cast<BYTE*>(&flag), &size) == ERROR_SUCCESS &&
         flag != 0;
}

}  // namespace

ProductVersion ReadInstalledVersion(const VersionRecord& record) {
  const ProductVersion notInstalled = {0, 0, 0, 0};
  const wchar_t* subkey = PluginKeyOf(record.variant);
  if (subkey == nullptr) return notInstalled;

  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, subkey, 0, KEY_READ, &opened) != ERROR_SUCCESS) {
    return notInstalled;
  }
  UniqueRegKey key(opened);
  wchar_t text[kVersionBytes / sizeof(wchar_t)];
  DWORD type = REG_NONE;
  DWORD size = kVersionBytes;
  bool read = RegQueryValueExW(key.get(), L"Version", nullptr, &type, reinterpret_cast<BYTE*>(text),
                               &size) == ERROR_SUCCESS;
  bool debugger = read && IsDebuggerBuild(key.get());
  key.reset();

  if (!read || debugger || !IsTerminatedText(type, text, size)) return notInstalled;
  return ParseProductVersion(text);
}

bool IsUpdateNeeded(const VersionRecord& record) {
  const ProductVersion notInstalled = {0, 0, 0, 0};
  ProductVersion installed = ReadInstalledVersion(record);
  if (CompareVersion(notInstalled, installed) == 0) return false;
  return CompareVersion(VersionOf(record), installed) > 0;
}
