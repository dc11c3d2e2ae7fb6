#include "log/install_log.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>

#include "common/unique_handle.h"
#include "support/log_capture.h"
#include "support/test_files.h"

namespace {

uint64_t MillisecondsOf(const SYSTEMTIME& time) {
  FILETIME file;
  SystemTimeToFileTime(&time, &file);
  return ((static_cast<uint64_t>(file.dwHighDateTime) << 32) | file.dwLowDateTime) / 10000;
}

// The size of a file as the directory tells it, without opening the file.
uint64_t FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The program that appends lines as another process would
// (install_log_writer.cpp), beside this test program.
std::wstring WriterProgram() {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path = self;
  return path.substr(0, path.rfind(L'\\') + 1) + L"install_log_writer.exe";
}

}  // namespace

TEST(InstallLog, ErrorLineIsUtf16LittleEndianWithCrLfAndNoMark) {
  LogCapture log(false);
  WriteInstallLog(LogLevel::Error, L"1234 5");
  std::string bytes = log.RawBytes();
  ASSERT_GE(bytes.size(), 4u);
  EXPECT_NE('\xFF', bytes[0]);
  EXPECT_EQ(std::string("\x0D\x00\x0A\x00", 4), bytes.substr(bytes.size() - 4));
  std::string message("1\0" "2\0" "3\0" "4\0" " \0" "5\0", 12);
  EXPECT_NE(std::string::npos, bytes.find(message));
  ASSERT_EQ(1u, log.Lines().size());
  std::wregex stamp(L"\\d{4}-[1-9]\\d?-[1-9]\\d?\\+\\d{1,2}-\\d{1,2}-\\d{1,2}\\.\\d{1,3} \\[error\\] 1234 5");
  EXPECT_TRUE(std::regex_match(log.Lines()[0], stamp));
}

TEST(InstallLog, TimeStampIsUtcWithoutPadding) {
  LogCapture log(false);
  SYSTEMTIME before, after, stamp = {};
  GetSystemTime(&before);
  WriteInstallLog(LogLevel::Error, L"x");
  GetSystemTime(&after);
  std::wstring line = log.Lines().at(0);
  ASSERT_EQ(7, swscanf(line.c_str(), L"%hu-%hu-%hu+%hu-%hu-%hu.%hu", &stamp.wYear, &stamp.wMonth,
                       &stamp.wDay, &stamp.wHour, &stamp.wMinute, &stamp.wSecond,
                       &stamp.wMilliseconds))
      << line;
  EXPECT_LE(MillisecondsOf(before), MillisecondsOf(stamp)) << line;
  EXPECT_LE(MillisecondsOf(stamp), MillisecondsOf(after)) << line;
  std::wstring unpadded = std::to_wstring(stamp.wYear) + L"-" + std::to_wstring(stamp.wMonth) +
                          L"-" + std::to_wstring(stamp.wDay) + L"+" + std::to_wstring(stamp.wHour) +
                          L"-" + std::to_wstring(stamp.wMinute) + L"-" +
                          std::to_wstring(stamp.wSecond) + L"." +
                          std::to_wstring(stamp.wMilliseconds) + L" [";
  EXPECT_EQ(0u, line.find(unpadded)) << line;
}

TEST(InstallLog, InfoAndWarningAreDroppedUnlessVerbose) {
  LogCapture log(false);
  WriteInstallLog(LogLevel::Info, L"1617");
  WriteInstallLog(LogLevel::Warning, L"1400 5");
  EXPECT_FALSE(FileExists(log.LogPath()));
  WriteInstallLog(LogLevel::Error, L"1239 8");
  EXPECT_EQ(std::vector<std::wstring>{L"1239 8"}, log.Messages());
}

TEST(InstallLog, VerboseWritesAllThreeLevelsWithTheirWords) {
  LogCapture log(true);
  WriteInstallLog(LogLevel::Info, L"a");
  WriteInstallLog(LogLevel::Warning, L"b");
  WriteInstallLog(LogLevel::Error, L"c");
  std::vector<std::wstring> lines = log.Lines();
  ASSERT_EQ(3u, lines.size());
  EXPECT_NE(std::wstring::npos, lines[0].find(L" [info] a"));
  EXPECT_NE(std::wstring::npos, lines[1].find(L" [warning] b"));
  EXPECT_NE(std::wstring::npos, lines[2].find(L" [error] c"));
}

TEST(InstallLog, AppendsToAnExistingFileWithoutTruncating) {
  LogCapture log(false);
  WriteFileBytes(log.LogPath(), std::string("o\0l\0d\0\r\0\n\0", 10));
  WriteInstallLog(LogLevel::Error, L"new");
  std::vector<std::wstring> lines = log.Lines();
  ASSERT_EQ(2u, lines.size());
  EXPECT_EQ(L"old", lines[0]);
}

TEST(InstallLog, MissingFolderCreatesNothingAndReportsNothing) {
  LogCapture log(false);
  RemoveTree(log.folder() + L"\\Oskvar");
  SetLastError(1234);
  WriteInstallLog(LogLevel::Error, L"1218 2");
  EXPECT_EQ(1234u, GetLastError());
  EXPECT_FALSE(FileExists(log.folder() + L"\\Oskvar"));
}

TEST(InstallLog, EventHelpersComposeCodeAndValues) {
  LogCapture log(true);
  LogEvent(LogLevel::Info, 1608);
  LogEventValue(LogLevel::Error, 1234, -2147024891);
  LogEventText(LogLevel::Info, 1628, L"updates.example");
  SetLastError(12029);
  LogEventLastError(LogLevel::Warning, 1403);
  EXPECT_EQ((std::vector<std::wstring>{L"1608", L"1234 -2147024891", L"1628 updates.example",
                                        L"1403 12029"}),
            log.Messages());
}

// Several processes append at once; every line arrives whole and none is lost.
TEST(InstallLog, ConcurrentProcessesLoseNoLine) {
  LogCapture log(false);
  const int kProcesses = 4;
  const int kLines = 200;
  std::vector<PROCESS_INFORMATION> children;
  for (int i = 0; i < kProcesses; ++i) {
    std::wstring command = L"\"" + WriterProgram() + L"\" " + std::to_wstring(i) + L" " +
                           std::to_wstring(kLines);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                               log.folder().c_str(), &startup, &process));
    children.push_back(process);
  }
  for (PROCESS_INFORMATION& child : children) {
    UniqueKernelHandle process(child.hProcess);
    UniqueKernelHandle thread(child.hThread);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.get(), 60000));
    DWORD exitCode = 1;
    EXPECT_TRUE(GetExitCodeProcess(process.get(), &exitCode));
    EXPECT_EQ(0u, exitCode);
  }
  std::vector<std::wstring> messages = log.Messages();
  ASSERT_EQ(static_cast<size_t>(kProcesses * kLines), messages.size());
  std::vector<int> counts(kProcesses, 0);
  for (const std::wstring& message : messages) {
    int writer = std::stoi(message.substr(0, message.find(L' ')));
    ASSERT_TRUE(writer >= 0 && writer < kProcesses) << message;
    EXPECT_EQ(std::to_wstring(writer) + L" " + std::to_wstring(counts[writer]) + L" padding-padding",
              message);
    ++counts[writer];
  }
}

namespace {

DWORD WINAPI WriteOneLine(void*) {
  WriteInstallLog(LogLevel::Error, L"1234 5");
  return 0;
}

// Writes one line on a thread of its own and reports whether the call came
// back within the time: a caller the log holds up would not.
bool LineReturnsWithin(DWORD milliseconds) {
  UniqueKernelHandle writer(CreateThread(nullptr, 0, WriteOneLine, nullptr, 0, nullptr));
  return writer.valid() && WaitForSingleObject(writer.get(), milliseconds) == WAIT_OBJECT_0;
}

}  // namespace

// Another program that holds the lock byte, or has locked the whole file,
// for longer than a line may wait: the line is lost, the caller goes on, and
// the next line after the hold goes in.
TEST(InstallLog, HeldLockCostsTheLineNotTheCaller) {
  struct Case {
    const char* what;
    uint64_t offset;
    uint64_t length;
  } const cases[] = {
      {"the lock byte", kInstallLogLockOffset, 1},
      {"the whole file", 0, ~uint64_t{0}},
  };
  for (const Case& c : cases) {
    LogCapture log(false);
    UniqueFileHandle other(CreateFileW(log.LogPath().c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(other.valid());
    OVERLAPPED range = {};
    range.Offset = static_cast<DWORD>(c.offset);
    range.OffsetHigh = static_cast<DWORD>(c.offset >> 32);
    const DWORD low = static_cast<DWORD>(c.length), high = static_cast<DWORD>(c.length >> 32);
    ASSERT_TRUE(LockFileEx(other.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, low, high, &range)) << c.what;
    bool returned = LineReturnsWithin(10000);
    EXPECT_TRUE(UnlockFileEx(other.get(), 0, low, high, &range)) << c.what;
    ASSERT_TRUE(returned) << c.what << ": the line waited for the lock";
    EXPECT_EQ(0u, FileSize(log.LogPath())) << c.what;
    WriteInstallLog(LogLevel::Error, L"1235 8");
    EXPECT_EQ(std::vector<std::wstring>{L"1235 8"}, log.Messages()) << c.what;
  }
}
