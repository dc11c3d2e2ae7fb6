#include "files/windows_file_manager.h"

#include <shlobj.h>

#include <string>

#include "common/wide_text.h"

namespace VUZI {

FileManager::~FileManager() = default;

namespace {

LocationCaches& ProcessLocationCaches() {
  static LocationCaches caches;
  return caches;
}

// The location rule: a cached string, else the folder from the query (left
// empty when the query fails) with the text appended within 260 units,
// converted to UTF-8. A failed conversion leaves the cache empty so that the
// next call tries again.
const ByteString& LocateFolder(const PlatformAccess& platform, ByteString& cache,
                               int folderConstant, const wchar_t* text) {
  if (!cache.empty()) return cache;
  wchar_t buffer[MAX_PATH] = {};
  platform.getFolderPath(nullptr, folderConstant, nullptr, 0, buffer);
  buffer[MAX_PATH - 1] = L'\0';
  std::wstring path(buffer);
  path.append(text);
  if (path.size() > MAX_PATH - 1) path.resize(MAX_PATH - 1);
  ByteString converted;
  if (WideToUtf8(path.c_str(), converted) && cache.empty()) cache = converted;
  return cache;
}

}  // namespace

WindowsFileManager::WindowsFileManager()
    : WindowsFileManager(kSystemPlatform, ProcessLocationCaches()) {}

WindowsFileManager::WindowsFileManager(const PlatformAccess& platform, LocationCaches& caches)
    : platform_(platform), caches_(caches) {}

WindowsFileManager::~WindowsFileManager() = default;

const ByteString& WindowsFileManager::GetSettingsFilePath() {
  return LocateFolder(platform_, caches_.settingsFile, CSIDL_SYSTEM,
                      L"\\Oskvar\\Plumix\\ksm.cfg");
}

const ByteString& WindowsFileManager::GetAssetCacheFolder() {
  return LocateFolder(platform_, caches_.assetCache, CSIDL_APPDATA,
                      L"\\Quorvel\\Plumix Player\\AssetCache");
}

const ByteString& WindowsFileManager::GetPlayerFolder() {
  return LocateFolder(platform_, caches_.player, CSIDL_APPDATA, L"\\Wendral\\Plumix Player");
}

const ByteString& WindowsFileManager::GetPrivateDataFolder() {
  return LocateFolder(platform_, caches_.privateData, CSIDL_APPDATA,
                      L"\\Quorvel\\Plumix Player\\QRVPrivateData2");
}

const ByteString& WindowsFileManager::GetPathSeparator() {
  static ByteString separator;
  separator = "\\";
  return separator;
}

}  // namespace VUZI
