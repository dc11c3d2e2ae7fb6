#pragma once

#include <windows.h>

#include "files/file_manager.h"

namespace VUZI {

// The Windows file manager. It has no state of its own: the location caches
// are process-wide and shared by all instances.
class WindowsFileManager : public FileManager {
 public:
  // The folder query the location operations use; SHGetFolderPathW unless a
  // test puts another in its place.
  using FolderQuery = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR);
  static FolderQuery folderQuery;
  // The clock DeleteFilesByAge reads (UTC); GetSystemTime unless a test fixes
  // it to hit an age bound exactly.
  using SystemTimeQuery = void(WINAPI*)(LPSYSTEMTIME);
  static SystemTimeQuery systemTimeQuery;

  ~WindowsFileManager() override;

  bool DeletePath(const ByteString& path) override;
  bool DeleteFilesByAge(const ByteString& folder, uint64_t minimumAgeSeconds,
                        uint64_t maximumAgeSeconds) override;
  uint64_t GetPathSize(const ByteString& path) override;
  bool CreateSubfolder(const ByteString& parent, const ByteString& name) override;
  const ByteString& GetPathSeparator() override;
  const ByteString& GetAssetCacheFolder() override;
  const ByteString& GetPlayerFolder() override;
  const ByteString& GetPrivateDataFolder() override;
  std::unique_ptr<StringVector> ListFolder(const ByteString& folder) override;

  // The system folder followed by "\Oskvar\Plumix\ksm.cfg", in UTF-8; cached
  // for the life of the process. Empty only when the conversion failed.
  const ByteString& GetSettingsFilePath();
};

}  // namespace VUZI
