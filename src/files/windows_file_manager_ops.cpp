#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "common/unique_handle.h"
#include "common/wide_text.h"
#include "files/windows_file_manager.h"

#if defined(_M_IX86) || defined(__i386__)
// Shell structures are packed to single bytes in 32-bit programs.
static_assert(sizeof(SHFILEOPSTRUCTW) == 30, "SHFileOperationW reads the 32-bit shell layout");
#endif

namespace VUZI {

namespace {

constexpr uint64_t kFileTimeUnitsPerSecond = 10000000;

bool IsDotEntry(const wchar_t* name) {
  return (name[0] == L'.' && name[1] == L'\0') ||
         (name[0] == L'.' && name[1] == L'.' && name[2] == L'\0');
}

uint64_t FileTimeValue(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

struct AgeBounds {
  uint64_t now;
  uint64_t minimum;  // exclusive, 100-ns units
  uint64_t maximum;  // exclusive, 100-ns units
};

// Walks one folder. True when the enumeration ran to its end; emptied tells
// whether nothing stayed behind in it.
bool WalkFolderByAge(const std::wstring& folder, const AgeBounds& bounds, bool& emptied) {
  emptied = true;
  WIN32_FIND_DATAW entry;
  UniqueFindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &entry));
  if (!find.valid()) return false;
  do {
    if (IsDotEntry(entry.cFileName)) continue;
    std::wstring path = folder + L"\\" + entry.cFileName;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      bool childEmptied = false;
      if (!WalkFolderByAge(path, bounds, childEmptied) || !childEmptied ||
          !RemoveDirectoryW(path.c_str())) {
        emptied = false;
      }
      continue;
    }
    // A last-write time in the future wraps to a very large age.
    uint64_t age = bounds.now - FileTimeValue(entry.ftLastWriteTime);
    bool inRange = bounds.minimum < age && age < bounds.maximum;
    if (!inRange || !DeleteFileW(path.c_str())) emptied = false;
  } while (FindNextFileW(find.get(), &entry));
  return true;
}

uint64_t SizeOfPath(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    uint64_t total = 0;
    WIN32_FIND_DATAW entry;
    UniqueFindHandle find(FindFirstFileW((path + L"\\*").c_str(), &entry));
    if (!find.valid()) return 0;
    do {
      if (!IsDotEntry(entry.cFileName)) total += SizeOfPath(path + L"\\" + entry.cFileName);
    } while (FindNextFileW(find.get(), &entry));
    return total;
  }
  UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size;
  if (!file.valid() || !GetFileSizeEx(file.get(), &size)) return 0;
  return static_cast<uint64_t>(size.QuadPart);
}

bool CreatedOrExists(const std::wstring& path) {
  return CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

// Makes sure every folder of the path exists, creating the missing ones from
// the top down. The depth is bounded by the path's own separators.
bool EnsureFolderPath(const std::wstring& path) {
  if (CreatedOrExists(path)) return true;
  std::wstring::size_type separator = path.find_last_of(L'\\');
  if (separator == std::wstring::npos || separator == 0) return false;
  return EnsureFolderPath(path.substr(0, separator)) && CreatedOrExists(path);
}

}  // namespace

bool WindowsFileManager::DeletePath(const ByteString& path) {
  std::wstring widePath;
  if (!Utf8ToWide(path.c_str(), widePath)) return false;
  // A list of one path: the text, its terminator and a second NUL.
  std::vector<wchar_t> source(widePath.begin(), widePath.end());
  source.push_back(L'\0');
  source.push_back(L'\0');
  SHFILEOPSTRUCTW operation = {};
  operation.wFunc = FO_DELETE;
  operation.pFrom = source.data();
  // Silent, unattended and permanent (no FOF_ALLOWUNDO).
  operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
  int result = SHFileOperationW(&operation);
  // 2 and 0x402 report a missing file or path, 0x7C an invalid name: the
  // path is not there, which is what the caller asked for.
  return result == 0 || result == 2 || result == 0x7C || result == 0x402;
}

bool WindowsFileManager::DeleteFilesByAge(const ByteString& folder, uint64_t minimumAgeSeconds,
                                          uint64_t maximumAgeSeconds) {
  std::wstring wideFolder;
  if (!Utf8ToWide(folder.c_str(), wideFolder)) return false;
  SYSTEMTIME systemNow;
  FILETIME fileNow;
  platform_.getSystemTime(&systemNow);
  if (!SystemTimeToFileTime(&systemNow, &fileNow)) return false;
  AgeBounds bounds{FileTimeValue(fileNow), minimumAgeSeconds * kFileTimeUnitsPerSecond,
                   maximumAgeSeconds * kFileTimeUnitsPerSecond};
  bool emptied = false;
  if (!WalkFolderByAge(wideFolder, bounds, emptied)) return false;
  if (emptied) return RemoveDirectoryW(wideFolder.c_str()) != 0;
  return true;
}

uint64_t WindowsFileManager::GetPathSize(const ByteString& path) {
  std::wstring widePath;
  if (!Utf8ToWide(path.c_str(), widePath)) return 0;
  return SizeOfPath(widePath);
}

bool WindowsFileManager::CreateSubfolder(const ByteString& parent, const ByteString& name) {
  std::wstring wideParent;
  std::wstring wideName;
  if (!Utf8ToWide(parent.c_str(), wideParent) || !Utf8ToWide(name.c_str(), wideName)) return false;
  EnsureFolderPath(wideParent);
  return CreatedOrExists(wideParent + L"\\" + wideName);
}

std::unique_ptr<StringVector> WindowsFileManager::ListFolder(const ByteString& folder) {
  std::unique_ptr<StringVector> names(new StringVector);
  std::wstring wideFolder;
  if (!Utf8ToWide(folder.c_str(), wideFolder)) return nullptr;
  WIN32_FIND_DATAW entry;
  UniqueFindHandle find(FindFirstFileW((wideFolder + L"\\*").c_str(), &entry));
  if (!find.valid()) return names;
  do {
    if (IsDotEntry(entry.cFileName)) continue;
    ByteString name;
    if (WideToUtf8(entry.cFileName, name)) names->Append(name);
  } while (FindNextFileW(find.get(), &entry));
  if (names->count() > 1) names->SortByFolderNameOrder();
  return names;
}

}  // namespace VUZI
