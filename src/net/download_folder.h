#pragma once

#include <windows.h>

#include <string>

#include "common/platform_access.h"

// The fresh folder in the temporary-files folder that one package is
// downloaded into, with its download file "pxi.tmp". The folder is named
// after a new GUID, or after a unique "PXI" temporary file name when no GUID
// text can be made. Whatever was created is removed again by Remove or, on
// any other way out, by the destructor: a download leaves no debris.
class DownloadFolder {
 public:
  // The platform's createGuid makes the GUID.
  explicit DownloadFolder(const PlatformAccess& platform) : platform_(platform) {}
  ~DownloadFolder();
  DownloadFolder(const DownloadFolder&) = delete;
  DownloadFolder& operator=(const DownloadFolder&) = delete;

  // Names and creates the folder; false after logging the event of the
  // failing step (1201, 1203, 1205, 1206). A temporary-files path too long
  // for the folder's name, a backslash and "pxi.tmp" within 260 units fails
  // with 1206 and ERROR_FILENAME_EXCED_RANGE before anything is created.
  bool Create();

  const std::wstring& filePath() const { return filePath_; }

  // Deletes the download file, if any (warning 1414 when that fails), and
  // removes the folder (warning 1415). Once only.
  void Remove();

 private:
  const PlatformAccess& platform_;
  std::wstring folderPath_;
  std::wstring filePath_;
  bool created_ = false;
};
