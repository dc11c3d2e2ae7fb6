#include "net/download_folder.h"

#include <new>

#include "log/install_log.h"

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
  // Only a log line can run out of memory here; the removal itself is done.
  try {
    Remove();
  } catch (const std::bad_alloc&) {
  }
}

void DownloadFolder::Remove() {
  if (!created_) return;
  created_ = false;
  // A failure before the download file was created leaves no file to delete.
  if (!DeleteFileW(filePath_.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
    LogEventLastError(LogLevel::Warning, 1414);
  }
  if (!RemoveDirectoryW(folderPath_.c_str())) LogEventLastError(LogLevel::Warning, 1415);
}
