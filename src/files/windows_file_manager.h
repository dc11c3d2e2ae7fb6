#pragma once

#include <windows.h>

#include "common/platform_access.h"
#include "files/file_manager.h"

namespace VUZI {

// The cached results of the location operations, each filled by its first
// successful call.
struct LocationCaches {
  ByteString settingsFile;
  ByteString assetCache;
  ByteString player;
  ByteString privateData;
};

// The Windows file manager. It has no state of its own: the location caches
// are shared by all instances.
class WindowsFileManager : public FileManager {
 public:
  // The system's folder query and clock, and the process-wide caches.
  WindowsFileManager();
  // The platform's getFolderPath and getSystemTime, and the given caches:
  // tests start from caches of their own.
  WindowsFileManager(const PlatformAccess& platform, LocationCaches& caches);

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

 private:
  const PlatformAccess& platform_;
  LocationCaches& caches_;
};

}  // namespace VUZI
