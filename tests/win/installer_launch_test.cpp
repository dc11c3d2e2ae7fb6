#include "update/installer_launch.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/unique_handle.h"
#include "net/installer_download.h"
#include "support/log_capture.h"
#include "support/open_handles.h"
#include "support/package_corpus.h"
#include "support/standin_installer.h"
#include "support/test_files.h"

namespace {

const wchar_t kCommandLine[] = L"PlumixPlayerInstaller.exe -install -iv 9";

std::wstring InstallerIn(const std::wstring& folder) { return folder + L"\\" + kInstallerFileName; }

std::wstring OwnFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::filesystem::path(path).parent_path().wstring();
}

bool CopyStandin(const std::wstring& target) {
  return CopyFileW(StandinInstallerPath().c_str(), target.c_str(), FALSE) != 0;
}

bool StillRunning(const std::map<std::string, std::string>& record) {
  auto id = record.find("process-id");
  if (id == record.end()) return false;
  UniqueKernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, std::stoul(id->second)));
  return process.valid() && WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

// A stand-in beside the test program, where the platform's executable search
// looks before the current directory; removed again at the end.
class ImpostorBesideProgram {
 public:
  ImpostorBesideProgram() : path_(InstallerIn(OwnFolder())) { created_ = CopyStandin(path_); }
  ~ImpostorBesideProgram() {
    DeleteFileW(StandinRecordPath(path_).c_str());
    DeleteFileW(path_.c_str());
  }
  bool created() const { return created_; }
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
  bool created_;
};

}  // namespace

TEST(LaunchInstaller, StartsTheInstallerWithTheExactCommandLineWithoutWaiting) {
  LogCapture log;
  std::wstring installer = InstallerIn(log.folder());
  ASSERT_TRUE(CopyStandin(installer));
  StandinHold hold;

  EXPECT_TRUE(LaunchInstaller(kCommandLine));

  // The stand-in cannot end before the hold is released, which happens only
  // now that LaunchInstaller has returned.
  std::map<std::string, std::string> record = WaitForStandinRecord(installer);
  EXPECT_EQ("PlumixPlayerInstaller.exe -install -iv 9", record["command-line"]);
  EXPECT_TRUE(StillRunning(record));
  hold.Release();
  EXPECT_TRUE(WaitForStandinExit(record));
  EXPECT_EQ(std::vector<std::wstring>{L"1602"}, log.Messages());
}

TEST(LaunchInstaller, StartsTheFileJustWrittenNotOneBesideTheService) {
  LogCapture log;
  std::wstring installer = InstallerIn(log.folder());
  ASSERT_TRUE(CopyStandin(installer));
  ImpostorBesideProgram impostor;
  ASSERT_TRUE(impostor.created());

  EXPECT_TRUE(LaunchInstaller(kCommandLine));

  std::map<std::string, std::string> record = WaitForStandinRecord(installer);
  EXPECT_EQ("PlumixPlayerInstaller.exe -install -iv 9", record["command-line"]);
  EXPECT_TRUE(WaitForStandinExit(record));
  EXPECT_FALSE(FileExists(StandinRecordPath(impostor.path())));
}

TEST(LaunchInstaller, MissingInstallerLogs1218WithTheError) {
  LogCapture log(false);
  EXPECT_FALSE(LaunchInstaller(kCommandLine));
  EXPECT_EQ(std::vector<std::wstring>{L"1218 2"}, log.Messages());
}

TEST(LaunchInstaller, FileThatIsNoProgramLogs1218WithTheError) {
  LogCapture log(false);
  ASSERT_TRUE(WriteFileBytes(InstallerIn(log.folder()), "not a program"));
  EXPECT_FALSE(LaunchInstaller(kCommandLine));
  ASSERT_EQ(1u, log.Messages().size());
  EXPECT_EQ(0u, log.Messages()[0].find(L"1218 "));
  EXPECT_NE(L"1218 0", log.Messages()[0]);
}

// The new process's two handles are closed on every way out, a started
// installer's as well as a failed start's.
TEST(LaunchInstaller, LeavesNoHandleOfItsOwnOpen) {
  struct Case {
    const char* what;
    bool standin;
    const char* otherContent;  // written as the installer file instead
    bool launched;
  } const cases[] = {
      {"started", true, nullptr, true},
      {"missing", false, nullptr, false},
      {"no program", false, "not a program", false},
  };
  for (const Case& c : cases) {
    LogCapture log(false);
    std::wstring installer = InstallerIn(log.folder());
    if (c.standin) {
      ASSERT_TRUE(CopyStandin(installer)) << c.what;
    }
    if (c.otherContent != nullptr) {
      ASSERT_TRUE(WriteFileBytes(installer, c.otherContent)) << c.what;
    }
    size_t before = OpenHandleCount();
    EXPECT_EQ(c.launched, LaunchInstaller(kCommandLine)) << c.what;
    EXPECT_EQ(before, OpenHandleCount()) << c.what;
    if (c.launched) {
      EXPECT_TRUE(WaitForStandinExit(WaitForStandinRecord(installer))) << c.what;
    }
  }
}
