#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "files/windows_file_manager.h"
#include "support/test_files.h"

namespace {

int folderQueries = 0;

HRESULT WINAPI CountingFolderQuery(HWND window, int folder, HANDLE token, DWORD flags, LPWSTR path) {
  ++folderQueries;
  return SHGetFolderPathW(window, folder, token, flags, path);
}

HRESULT WINAPI FailingFolderQuery(HWND, int, HANDLE, DWORD, LPWSTR) { return E_FAIL; }

}  // namespace

TEST(GetSettingsFilePath, IsTheSystemFolderWithTheSettingsName) {
  VUZI::WindowsFileManager fileManager;
  std::wstring expected = SystemFolder() + L"\\Oskvar\\Plumix\\ksm.cfg";
  std::string utf8(expected.begin(), expected.end());
  EXPECT_EQ(utf8, fileManager.GetSettingsFilePath().c_str());
}

TEST(GetSettingsFilePath, SecondCallAndSecondInstanceUseTheCache) {
  VUZI::WindowsFileManager::folderQuery = CountingFolderQuery;
  std::unique_ptr<VUZI::FileManager> first(new VUZI::WindowsFileManager);
  ByteString path = static_cast<VUZI::WindowsFileManager&>(*first).GetSettingsFilePath();
  first.reset();
  VUZI::WindowsFileManager second;
  EXPECT_EQ(path, second.GetSettingsFilePath());
  EXPECT_EQ(1, folderQueries);
}

TEST(GetSettingsFilePath, FailedFolderQueryGivesTheBareSuffix) {
  VUZI::WindowsFileManager::folderQuery = FailingFolderQuery;
  VUZI::WindowsFileManager fileManager;
  EXPECT_STREQ("\\Oskvar\\Plumix\\ksm.cfg", fileManager.GetSettingsFilePath().c_str());
}
