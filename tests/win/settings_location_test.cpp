#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "files/windows_file_manager.h"
#include "support/isolated_file_manager.h"
#include "support/test_files.h"

namespace {

int folderQueries = 0;

HRESULT WINAPI CountingFolderQuery(HWND window, int folder, HANDLE token, DWORD flags, LPWSTR path) {
  ++folderQueries;
  return SHGetFolderPathW(window, folder, token, flags, path);
}

HRESULT WINAPI FailingFolderQuery(HWND, int, HANDLE, DWORD, LPWSTR) { return E_FAIL; }

PlatformAccess WithFolderQuery(HRESULT(WINAPI* query)(HWND, int, HANDLE, DWORD, LPWSTR)) {
  PlatformAccess platform = kSystemPlatform;
  platform.getFolderPath = query;
  return platform;
}

}  // namespace

TEST(GetSettingsFilePath, IsTheSystemFolderWithTheSettingsName) {
  VUZI::WindowsFileManager fileManager;
  std::wstring expected = SystemFolder() + L"\\Oskvar\\Plumix\\ksm.cfg";
  std::string utf8(expected.begin(), expected.end());
  EXPECT_EQ(utf8, fileManager.GetSettingsFilePath().c_str());
}

TEST(GetSettingsFilePath, SecondCallAndSecondInstanceUseTheCache) {
  folderQueries = 0;
  PlatformAccess platform = WithFolderQuery(CountingFolderQuery);
  VUZI::LocationCaches caches;
  std::unique_ptr<VUZI::FileManager> first(new VUZI::WindowsFileManager(platform, caches));
  ByteString path = static_cast<VUZI::WindowsFileManager&>(*first).GetSettingsFilePath();
  first.reset();
  VUZI::WindowsFileManager second(platform, caches);
  EXPECT_EQ(path, second.GetSettingsFilePath());
  EXPECT_EQ(1, folderQueries);
}

TEST(GetSettingsFilePath, InstancesOfTheProgramShareOneCache) {
  VUZI::WindowsFileManager first;
  VUZI::WindowsFileManager second;
  EXPECT_EQ(&first.GetSettingsFilePath(), &second.GetSettingsFilePath());
}

TEST(GetSettingsFilePath, FailedFolderQueryGivesTheBareSuffix) {
  IsolatedFileManager isolated(WithFolderQuery(FailingFolderQuery));
  EXPECT_STREQ("\\Oskvar\\Plumix\\ksm.cfg", isolated.files().GetSettingsFilePath().c_str());
}
