#include "net/download_folder.h"

#include <chrono>
#include <new>

#include "log/install_log.h"
#include "update/cycle_watchdog.h"

namespace {

const wchar_t kDownloadFileName[] = L"pxi.tmp";

// The temporary-files folder, ending with a backslash; logs 1201 when there
// is none or it does not fit in 260 units.
bool GetTemporaryFolder(std::wstring& folder) {
  wchar_t buffer[MAX_PATH] = {};
  DWORD length = GetTempPathW(MAX_PATH, buffer);
  if (length == 0 || length > MAX_PATH) {
    LogEventLastError(LogLevel::Error, 1201);
    return false;
  }
  folder = buffer;
  return true;
}

// The GUID in its registry text form; logs 1425 when the text cannot be made.
bool NewGuidText(const PlatformAccess& platform, std::wstring& text) {
  GUID guid;
  if (FAILED(platform.createGuid(&guid))) return false;
  wchar_t buffer[MAX_PATH] = {};
  if (StringFromGUID2(guid, buffer, MAX_PATH) <= 0) {
    LogEvent(LogLevel::Warning, 1425);
    return false;
  }
  text = buffer;
  return true;
}

// A unique name in the temporary-files folder: GetTempFileNameW creates an
// empty file to reserve it, which is deleted so that the folder can take the
// name.
bool ReserveFallbackName(const std::wstring& temporaryFolder, std::wstring& path) {
  wchar_t buffer[MAX_PATH] = {};
  if (GetTempFileNameW(temporaryFolder.c_str(), L"PXI", 0, buffer) == 0) {
    LogEventLastError(LogLevel::Error, 1203);
    return false;
  }
  if (!DeleteFileW(buffer)) {
    LogEventLastError(LogLevel::Error, 1205);
    return false;
  }
  path = buffer;
  return true;
}

}  // namespace

DownloadFolder::DownloadFolder(const PlatformAccess& platform, CycleWatchdog* watchdog)
    : platform_(platform), watchdog_(watchdog) {
  if (watchdog_ != nullptr) watchdog_->Track(this);
}

bool DownloadFolder::Create() {
  std::wstring temporaryFolder;
  if (!GetTemporaryFolder(temporaryFolder)) return false;
  std::wstring guidText;
  if (NewGuidText(platform_, guidText)) {
    folderPath_ = temporaryFolder + guidText;
  } else {
    LogEvent(LogLevel::Warning, 1426);
    if (!ReserveFallbackName(temporaryFolder, folderPath_)) return false;
  }
  folderPath_ += L'\\';
  filePath_ = folderPath_ + kDownloadFileName;
  if (filePath_.size() >= MAX_PATH) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    LogEventLastError(LogLevel::Error, 1206);
    return false;
  }
  if (!CreateDirectoryW(folderPath_.c_str(), nullptr)) {
    LogEventLastError(LogLevel::Error, 1206);
    return false;
  }
  created_ = true;
  return true;
}

DownloadFolder::~DownloadFolder() {
  // First, so that the watchdog no longer reaches a folder being destroyed.
  if (watchdog_ != nullptr) watchdog_->Untrack(this);
  // Only a log line can run out of memory here; the removal itself is done.
  try {
    Remove();
  } catch (const std::bad_alloc&) {
  }
}

bool DownloadFolder::OpenDownloadFile() {
  std::lock_guard<std::timed_mutex> guard(lock_);
  file_.reset(CreateFileW(filePath_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file_.valid()) return true;
  LogEventLastError(LogLevel::Error, 1207);
  return false;
}

bool DownloadFolder::WriteToFile(const void* data, DWORD length) {
  std::lock_guard<std::timed_mutex> guard(lock_);
  if (!file_.valid()) {
    SetLastError(ERROR_OPERATION_ABORTED);
    return false;
  }
  return WriteWhole(platform_, file_.get(), data, length);
}

void DownloadFolder::CloseDownloadFile() {
  std::lock_guard<std::timed_mutex> guard(lock_);
  if (!file_.Close()) LogEventLastError(LogLevel::Warning, 1413);
}

void DownloadFolder::Remove() {
  std::lock_guard<std::timed_mutex> guard(lock_);
  RemoveLocked();
}

void DownloadFolder::Abandon() {
  std::unique_lock<std::timed_mutex> guard(lock_, std::chrono::seconds(kAbandonWaitSeconds));
  // A write held by the disk keeps its file open: the folder stays then.
  if (guard.owns_lock()) RemoveLocked();
}

void DownloadFolder::RemoveLocked() {
  if (!created_) return;
  created_ = false;
  file_.reset();
  // A failure before the download file was created leaves no file to delete.
  if (!DeleteFileW(filePath_.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
    LogEventLastError(LogLevel::Warning, 1414);
  }
  if (!RemoveDirectoryW(folderPath_.c_str())) LogEventLastError(LogLevel::Warning, 1415);
}
