#pragma once

#include "common/platform_access.h"
#include "files/windows_file_manager.h"

// A Windows file manager over a platform and location caches of the test's
// own: it starts with empty caches, and whatever it caches or queries ends
// with it.
class IsolatedFileManager {
 public:
  explicit IsolatedFileManager(const PlatformAccess& platform = kSystemPlatform)
      : platform_(platform), files_(platform_, caches_) {}
  IsolatedFileManager(const IsolatedFileManager&) = delete;
  IsolatedFileManager& operator=(const IsolatedFileManager&) = delete;

  VUZI::WindowsFileManager& files() { return files_; }
  VUZI::LocationCaches& caches() { return caches_; }

 private:
  PlatformAccess platform_;
  VUZI::LocationCaches caches_;
  VUZI::WindowsFileManager files_;
};
