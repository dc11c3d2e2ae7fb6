#pragma once

#include <windows.h>

#include <mutex>
#include <string>

#include "common/platform_access.h"
#include "common/unique_handle.h"

class CycleWatchdog;

// The fresh folder in the temporary-files folder that one package is
// downloaded into, with its download file "pxi.tmp". The folder is named
// after a new GUID, or after a unique "PXI" temporary file name when no GUID
// text can be made. Whatever was created is removed again by Remove or, on
// any other way out, by the destructor: a download leaves no debris. The
// cycle's watchdog, when there is one, removes it too if the cycle passes
// its bounds: it may do so while the cycle's thread is held inside a call,
// so the file is written only through this object.
class DownloadFolder {
 public:
  // The platform's createGuid makes the GUID and its writeFile writes.
  DownloadFolder(const PlatformAccess& platform, CycleWatchdog* watchdog);
  ~DownloadFolder();
  DownloadFolder(const DownloadFolder&) = delete;
  DownloadFolder& operator=(const DownloadFolder&) = delete;

  // Names and creates the folder; false after logging the event of the
  // failing step (1201, 1203, 1205, 1206). A temporary-files path too long
  // for the folder's name, a backslash and "pxi.tmp" within 260 units fails
  // with 1206 and ERROR_FILENAME_EXCED_RANGE before anything is created.
  bool Create();

  const std::wstring& filePath() const { return filePath_; }

  // Creates the download file for writing, without sharing; false after
  // logging 1207.
  bool OpenDownloadFile();

  // Writes every byte to the download file in one call; a short write fails
  // with ERROR_WRITE_FAULT, a removed folder with ERROR_OPERATION_ABORTED.
  bool WriteToFile(const void* data, DWORD length);

  // Closes the download file; warning 1413 when the platform refuses.
  void CloseDownloadFile();

  // Closes the download file if open, deletes it (warning 1414 when that
  // fails) and removes the folder (warning 1415). Once only.
  void Remove();

  // Remove for the watchdog: does not wait long for a write under way.
  void Abandon();

 private:
  // How long Abandon waits for a write under way to finish.
  static constexpr unsigned kAbandonWaitSeconds = 10;

  void RemoveLocked();

  const PlatformAccess& platform_;
  CycleWatchdog* watchdog_;
  std::timed_mutex lock_;
  std::wstring folderPath_;
  std::wstring filePath_;
  UniqueFileHandle file_;
  bool created_ = false;
};
