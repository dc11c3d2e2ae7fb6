#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "files/windows_file_manager.h"
#include "support/isolated_file_manager.h"
#include "support/platform_doubles.h"
#include "support/test_files.h"

TEST(GetSettingsFilePath, IsTheSystemFolderWithTheSettingsName) {
  VUZI::WindowsFileManager fileManager;
  std::wstring expected = SystemFolder() + L"\\Oskvar\\Plumix\\ksm.cfg";
  std::string utf8(expected.begin(), expected.end());
  EXPECT_EQ(utf8, fileManager.GetSettingsFilePath().c_str());
}

TEST(GetSettingsFilePath, SecondCallAndSecondInstanceUseTheCache) {
  folderQueries = 0;
  PlatformAccess platform = PlatformWith(&PlatformAccess::getFolderPath, CountingFolderQuery);
  VUZI::LocationCaches caches;
  std::unique_ptr<VUZI::FileManager> first(new VUZI::WindowsFileManager(platform, caches));
  ByteString path = static_cast<VUZI::WindowsFileManager&>(*first).GetSettingsFilePath();
  first.reset();
  VUZI::WindowsFileManager second(platform, caches);
  EXPECT_EQ(path, second.GetSettingsFilePath());
  EXPECT_EQ(1, folderQueries);
}

TEST(GetSettingsFilePath, FailedFolderQueryGivesTheBareSuffix) {
  IsolatedFileManager isolated(PlatformWith(&PlatformAccess::getFolderPath, FailingFolderQuery));
  EXPECT_STREQ("\\Oskvar\\Plumix\\ksm.cfg", isolated.files().GetSettingsFilePath().c_str());
}
