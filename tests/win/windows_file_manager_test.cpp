#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "common/unique_handle.h"
#include "common/wide_text.h"
#include "files/windows_file_manager.h"
#include "support/isolated_file_manager.h"
#include "support/platform_doubles.h"
#include "support/test_files.h"

namespace {

constexpr int64_t kSecond = 10000000;  // file-time units
constexpr int64_t kDay = 86400 * kSecond;
constexpr uint64_t kThirtyDays = 30 * 86400;

ByteString Utf8(const std::wstring& text) {
  ByteString utf8;
  EXPECT_TRUE(WideToUtf8(text.c_str(), utf8));
  return utf8;
}

// A fresh folder under the temp folder, removed with what is left in it.
class TempFolder {
 public:
  TempFolder() : path_(NewTempFolder()) {}
  ~TempFolder() { RemoveTree(path_); }
  std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

uint64_t FileTimeNow() {
  SYSTEMTIME system;
  GetSystemTime(&system);
  FILETIME file;
  SystemTimeToFileTime(&system, &file);
  return (static_cast<uint64_t>(file.dwHighDateTime) << 32) | file.dwLowDateTime;
}

// Writes a one-byte file last written at now + offset (file-time units).
void WriteFileAt(const std::wstring& path, uint64_t now, int64_t offset) {
  ASSERT_TRUE(WriteFileBytes(path, "x"));
  UniqueFileHandle file(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  uint64_t when = now + static_cast<uint64_t>(offset);
  FILETIME time = {static_cast<DWORD>(when), static_cast<DWORD>(when >> 32)};
  ASSERT_TRUE(SetFileTime(file.get(), nullptr, nullptr, &time));
}

uint64_t fixedNow = 0;
void WINAPI FixedClock(LPSYSTEMTIME time) {
  FILETIME file = {static_cast<DWORD>(fixedNow), static_cast<DWORD>(fixedNow >> 32)};
  FileTimeToSystemTime(&file, time);
}

struct Location {
  const ByteString& (VUZI::FileManager::*get)();
  const wchar_t* text;
} const kLocations[] = {
    {&VUZI::FileManager::GetAssetCacheFolder, L"\\Quorvel\\Plumix Player\\AssetCache"},
    {&VUZI::FileManager::GetPlayerFolder, L"\\Wendral\\Plumix Player"},
    {&VUZI::FileManager::GetPrivateDataFolder, L"\\Quorvel\\Plumix Player\\QRVPrivateData2"},
};

}  // namespace

TEST(DeletePath, RemovesFoldersWithTheirContentsFilesAndMissingPaths) {
  TempFolder root;
  std::wstring folder = root / L"donn\u00e9es";
  CreateDirectoryW(folder.c_str(), nullptr);
  CreateDirectoryW((folder + L"\\sub").c_str(), nullptr);
  ASSERT_TRUE(WriteFileBytes(folder + L"\\sub\\a.txt", "abc"));
  ASSERT_TRUE(WriteFileBytes(root / L"single.txt", "abc"));
  VUZI::WindowsFileManager files;
  for (const std::wstring& path :
       {folder, root / L"single.txt", root / L"missing.txt", root / L"missing\\deeper\\file.txt"}) {
    EXPECT_TRUE(files.DeletePath(Utf8(path)));
    EXPECT_FALSE(FileExists(path));
  }
}

TEST(DeletePath, FileHeldOpenWithoutSharingFails) {
  TempFolder root;
  ASSERT_TRUE(WriteFileBytes(root / L"busy.txt", "x"));
  UniqueFileHandle busy(CreateFileW((root / L"busy.txt").c_str(), GENERIC_READ, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(busy.valid());
  VUZI::WindowsFileManager files;
  EXPECT_FALSE(files.DeletePath(Utf8(root / L"busy.txt")));
  EXPECT_TRUE(FileExists(root / L"busy.txt"));
}

TEST(DeleteFilesByAge, DeletesOnlyFilesStrictlyBetweenTheBounds) {
  struct Case {
    const char* what;
    uint64_t minimum;
    uint64_t maximum;
    int64_t offset;  // last write relative to the clock
    bool deleted;
  } const cases[] = {
      {"an hour old", 0, kThirtyDays, -3600 * kSecond, true},
      {"exactly thirty days", 0, kThirtyDays, -30 * kDay, false},
      {"a second under thirty days", 0, kThirtyDays, -30 * kDay + kSecond, true},
      {"a second over thirty days", 0, kThirtyDays, -30 * kDay - kSecond, false},
      {"written right now", 0, kThirtyDays, 0, false},
      {"a day in the future", 0, kThirtyDays, kDay, false},
      {"a future date is a very large age", 0, 1844674407370, kDay, true},
      {"exactly the minimum", 60, 3600, -60 * kSecond, false},
      {"a second over the minimum", 60, 3600, -61 * kSecond, true},
      {"exactly the maximum", 60, 3600, -3600 * kSecond, false},
  };
  fixedNow = FileTimeNow() / kSecond * kSecond;
  IsolatedFileManager isolated(PlatformWith(&PlatformAccess::getSystemTime, FixedClock));
  VUZI::WindowsFileManager& files = isolated.files();
  for (const Case& c : cases) {
    TempFolder root;
    WriteFileAt(root / L"file.txt", fixedNow, c.offset);
    EXPECT_TRUE(files.DeleteFilesByAge(Utf8(root.path()), c.minimum, c.maximum)) << c.what;
    EXPECT_EQ(!c.deleted, FileExists(root / L"file.txt")) << c.what;
    // The folder goes when its only file went.
    EXPECT_EQ(!c.deleted, FileExists(root.path())) << c.what;
  }
}

TEST(DeleteFilesByAge, RemovesTheSubfoldersItEmptiesAndKeepsTheOthers) {
  TempFolder root;
  for (const wchar_t* folder : {L"emptied", L"emptied\\deeper", L"kept"})
    CreateDirectoryW((root / folder).c_str(), nullptr);
  uint64_t now = FileTimeNow();
  WriteFileAt(root / L"fresh.txt", now, -3600 * kSecond);
  WriteFileAt(root / L"old.txt", now, -31 * kDay);
  WriteFileAt(root / L"emptied\\a.txt", now, -2 * kDay);
  WriteFileAt(root / L"emptied\\deeper\\b.txt", now, -10 * kDay);
  WriteFileAt(root / L"kept\\recent.txt", now, -5 * kDay);
  WriteFileAt(root / L"kept\\stale.txt", now, -40 * kDay);
  VUZI::WindowsFileManager files;
  EXPECT_TRUE(files.DeleteFilesByAge(Utf8(root.path()), 0, kThirtyDays));
  EXPECT_FALSE(FileExists(root / L"fresh.txt"));
  EXPECT_TRUE(FileExists(root / L"old.txt"));
  EXPECT_FALSE(FileExists(root / L"emptied"));
  EXPECT_FALSE(FileExists(root / L"kept\\recent.txt"));
  EXPECT_TRUE(FileExists(root / L"kept\\stale.txt"));
}

TEST(DeleteFilesByAge, MissingFolderFails) {
  TempFolder root;
  VUZI::WindowsFileManager files;
  EXPECT_FALSE(files.DeleteFilesByAge(Utf8(root / L"missing"), 0, kThirtyDays));
}

TEST(GetPathSize, SumsEveryFileUnderAFolder) {
  TempFolder root;
  CreateDirectoryW((root / L"sub").c_str(), nullptr);
  ASSERT_TRUE(WriteFileBytes(root / L"ten.bin", std::string(10, 'a')));
  ASSERT_TRUE(WriteFileBytes(root / L"twenty.bin", std::string(20, 'b')));
  ASSERT_TRUE(WriteFileBytes(root / L"sub\\five.bin", std::string(5, 'c')));
  VUZI::WindowsFileManager files;
  EXPECT_EQ(35u, files.GetPathSize(Utf8(root.path())));
  EXPECT_EQ(20u, files.GetPathSize(Utf8(root / L"twenty.bin")));
  EXPECT_EQ(0u, files.GetPathSize(Utf8(root / L"missing")));
}

TEST(CreateSubfolder, CreatesEveryMissingLevelOfTheParent) {
  TempFolder root;
  ASSERT_TRUE(WriteFileBytes(root / L"file.txt", "x"));
  VUZI::WindowsFileManager files;
  EXPECT_TRUE(files.CreateSubfolder(Utf8(root / L"one\\two"), "name"));
  EXPECT_TRUE(FileExists(root / L"one\\two\\name"));
  EXPECT_TRUE(files.CreateSubfolder(Utf8(root / L"one\\two"), "name"));  // already there
  EXPECT_FALSE(files.CreateSubfolder(Utf8(root / L"file.txt\\inner"), "name"));
}

TEST(ListFolder, LettersInByteOrderThenNumbersByValue) {
  TempFolder root;
  for (const wchar_t* name : {L"10", L"9", L"a", L"B", L"\u00e9", L"07", L"7"})
    ASSERT_TRUE(WriteFileBytes(root / name, ""));
  CreateDirectoryW((root / L"z").c_str(), nullptr);
  VUZI::WindowsFileManager files;
  std::unique_ptr<VUZI::StringVector> names = files.ListFolder(Utf8(root.path()));
  ASSERT_NE(nullptr, names);
  std::vector<std::string> listed;
  for (uint32_t i = 0; i < names->count(); ++i) listed.push_back(names->At(i).c_str());
  ASSERT_EQ(8u, listed.size());
  EXPECT_EQ((std::vector<std::string>{"B", "a", "z", "\xC3\xA9"}),
            std::vector<std::string>(listed.begin(), listed.begin() + 4));
  // 07 and 7 are equal: either may come first.
  EXPECT_EQ((std::set<std::string>{"07", "7"}), std::set<std::string>(listed.begin() + 4, listed.begin() + 6));
  EXPECT_EQ("9", listed[6]);
  EXPECT_EQ("10", listed[7]);
}

TEST(ListFolder, EmptyOrMissingFolderGivesAnEmptyVector) {
  TempFolder root;
  VUZI::WindowsFileManager files;
  for (const std::wstring& folder : {root.path(), root / L"missing"}) {
    std::unique_ptr<VUZI::StringVector> names = files.ListFolder(Utf8(folder));
    ASSERT_NE(nullptr, names);
    EXPECT_EQ(0u, names->count());
  }
}

TEST(LocationFolders, EachAnswersItsSecondCallFromItsOwnCache) {
  wchar_t appData[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, appData);
  folderQueries = 0;
  IsolatedFileManager isolated(PlatformWith(&PlatformAccess::getFolderPath, CountingFolderQuery));
  VUZI::FileManager& files = isolated.files();
  int queries = 0;
  for (const Location& location : kLocations) {
    const ByteString& first = (files.*location.get)();
    EXPECT_EQ(Utf8(std::wstring(appData) + location.text), first);
    EXPECT_EQ(++queries, folderQueries);
    EXPECT_EQ(CSIDL_APPDATA, lastFolderConstant);
    EXPECT_EQ(&first, &(files.*location.get)());
    EXPECT_EQ(queries, folderQueries) << "the second call queried again";
  }
  EXPECT_STREQ("\\", files.GetPathSeparator().c_str());
}

TEST(LocationFolders, FailedFolderQueryGivesTheBareText) {
  IsolatedFileManager isolated(PlatformWith(&PlatformAccess::getFolderPath, FailingFolderQuery));
  VUZI::FileManager& files = isolated.files();
  for (const Location& location : kLocations) EXPECT_EQ(Utf8(location.text), (files.*location.get)());
}
