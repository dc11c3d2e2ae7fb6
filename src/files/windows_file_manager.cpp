#include "files/windows_file_manager.h"

#include <shlobj.h>

#include <string>

#include "common/wide_text.h"

namespace VUZI {

FileManager::~FileManager() = default;

WindowsFileManager::FolderQuery WindowsFileManager::folderQuery = SHGetFolderPathW;
WindowsFileManager::SystemTimeQuery WindowsFileManager::systemTimeQuery = GetSystemTime;

WindowsFileManager::~WindowsFileManager() = default;

namespace {

// The location rule: a cached string, else the folder from the query (left
// empty when the query fails) with the text appended within 260 units,
// converted to UTF-8. A failed conversion leaves the cache empty so that the
// next call tries again.
const ByteString& LocateFolder(ByteString& cache, int folderConstant, const wchar_t* text) {
  if (!cache.empty()) return cache;
  wchar_t buffer[MAX_PATH] = {};
  WindowsFileManager::folderQuery(nullptr, folderConstant, nullptr, 0, buffer);
  buffer[MAX_PATH - 1] = L'\0';
  std::wstring path(buffer);
  path.append(text);
  if (path.size() > MAX_PATH - 1) path.resize(MAX_PATH - 1);
  ByteString converted;
  if (WideToUtf8(path.c_str(), converted) && cache.empty()) cache = converted;
  return cache;
}

}  // namespace

const ByteString& WindowsFileManager::GetSettingsFilePath() {
  static ByteString cache;
  return LocateFolder(cache, CSIDL_SYSTEM, L"\\Oskvar\\Plumix\\ksm.cfg");
}

const ByteString& WindowsFileManager::GetAssetCacheFolder() {
  static ByteString cache;
  return LocateFolder(cache, CSIDL_APPDATA, L"\\Quorvel\\Plumix Player\\AssetCache");
}

const ByteString& WindowsFileManager::GetPlayerFolder() {
  static ByteString cache;
  return LocateFolder(cache, CSIDL_APPDATA, L"\\Wendral\\Plumix Player");
}

const ByteString& WindowsFileManager::GetPrivateDataFolder() {
  static ByteString cache;
  return LocateFolder(cache, CSIDL_APPDATA, L"\\Quorvel\\Plumix Player\\QRVPrivateData2");
}

const ByteString& WindowsFileManager::GetPathSeparator() {
  static ByteString separator;
  separator = "\\";
  return separator;
}

}  // namespace VUZI
