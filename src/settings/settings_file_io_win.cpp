#include <windows.h>

#include <io.h>


#include <cstdio>
#include <string>

#include "common/wide_text.h"
#include "settings/settings_file_io.h"

namespace {

// Deletes a file after a failure without hiding that failure's cause: the
// thread's last error stays as it was, for the caller to report.
bool DeleteKeepingLastError(const wchar_t* path) {
  DWORD cause = GetLastError();
  bool deleted = DeleteFileW(path) != 0;
  SetLastError(cause);
  return deleted;
}

}  // namespace

FILE* OpenFileUtf8(const ByteString& path, const char* mode) {
  std::wstring widePath;
  std::wstring wideMode;
  if (!Utf8ToWide(path.c_str(), widePath) || !Utf8ToWide(mode, wideMode)) return nullptr;
  return _wfopen(widePath.c_str(), wideMode.c_str());
}

FILE* CreateTempFileBeside(const ByteString& path, ByteString& tempPath) {
  std::wstring widePath;
  if (!Utf8ToWide(path.c_str(), widePath)) return nullptr;
  std::wstring::size_type separator = widePath.find_last_of(L"\\/");
  std::wstring folder = separator == std::wstring::npos ? std::wstring(L".")
                                                        : widePath.substr(0, separator);
  // GetTempFileNameW creates the file, so the name is ours alone.
  wchar_t name[MAX_PATH];
  if (GetTempFileNameW(folder.c_str(), L"ksm", 0, name) == 0) return nullptr;
  ByteString utf8Name;
  FILE* file = WideToUtf8(name, utf8Name) ? _wfopen(name, L"wb") : nullptr;
  if (file == nullptr) {
    DeleteKeepingLastError(name);
    return nullptr;
  }
  tempPath = utf8Name;
  return file;
}

bool FlushFileToDisk(FILE* file) { return std::fflush(file) == 0 && _commit(_fileno(file)) == 0; }

bool ReplaceFileWith(const ByteString& tempPath, const ByteString& path) {
  std::wstring wideTemp;
  std::wstring widePath;
  if (!Utf8ToWide(tempPath.c_str(), wideTemp) || !Utf8ToWide(path.c_str(), widePath)) return false;
  // Write-through: the rename reaches the disk before the call returns.
  return MoveFileExW(wideTemp.c_str(), widePath.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool RemoveFileUtf8(const ByteString& path) {
  std::wstring widePath;
  return Utf8ToWide(path.c_str(), widePath) && DeleteKeepingLastError(widePath.c_str());
}
