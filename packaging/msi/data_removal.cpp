#include "data_removal.h"

#include <windows.h>

#include <string>

#include "common/unique_handle.h"
#include "common/wide_text.h"
#include "files/windows_file_manager.h"
#include "update/update_state.h"

namespace {

std::wstring FolderOf(const std::wstring& path) {
  std::wstring::size_type separator = path.find_last_of(L'\\');
  return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}

void DeleteFilesIn(const MsiSession& session, const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  UniqueFindHandle search(FindFirstFileW((folder + L"\\*").c_str(), &found));
  if (!search.valid()) return;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    std::wstring path = folder + L"\\" + found.cFileName;
    // A read-only file would refuse to go.
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!DeleteFileW(path.c_str())) {
      session.Note(L"Could not delete " + path + L": error " + std::to_wstring(GetLastError()) +
                   L".");
    }
  } while (FindNextFileW(search.get(), &found));
}

void RemoveEmptyFolder(const MsiSession& session, const std::wstring& folder) {
  if (RemoveDirectoryW(folder.c_str())) return;
  DWORD error = GetLastError();
  if (error != ERROR_DIR_NOT_EMPTY && error != ERROR_FILE_NOT_FOUND) {
    session.Note(L"Could not remove " + folder + L": error " + std::to_wstring(error) + L".");
  }
}

}  // namespace

void RemoveServiceData(const MsiSession& session) {
  session.Note(L"REMOVEDATA=1: removing the settings, the install log and the update state.");
  VUZI::WindowsFileManager files;
  std::wstring settingsPath;
  Utf8ToWide(files.GetSettingsFilePath().c_str(), settingsPath);
  std::wstring dataFolder = FolderOf(settingsPath);
  if (!dataFolder.empty()) {
    DeleteFilesIn(session, dataFolder);
    RemoveEmptyFolder(session, dataFolder);
    RemoveEmptyFolder(session, FolderOf(dataFolder));
  }
  LSTATUS status = RegDeleteKeyW(HKEY_LOCAL_MACHINE, kUpdateStateKey);
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
    session.Note(L"Could not delete HKLM\\" + std::wstring(kUpdateStateKey) + L": error " +
                 std::to_wstring(status) + L".");
  }
}
