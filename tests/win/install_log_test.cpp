#include "log/install_log.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "support/log_capture.h"
#include "support/test_files.h"

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
  SYSTEMTIME before;
  GetSystemTime(&before);
  WriteInstallLog(LogLevel::Error, L"x");
  std::wstring line = log.Lines().at(0);
  std::wstring prefix = std::to_wstring(before.wYear) + L"-" + std::to_wstring(before.wMonth) + L"-" +
                        std::to_wstring(before.wDay) + L"+" + std::to_wstring(before.wHour) + L"-";
  EXPECT_EQ(0u, line.find(prefix)) << line;
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
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const int kProcesses = 4;
  const int kLines = 200;
  std::vector<PROCESS_INFORMATION> children;
  for (int i = 0; i < kProcesses; ++i) {
    std::wstring command = L"\"" + std::wstring(self) +
                           L"\" --gtest_filter=InstallLogChild.WritesLines --gtest_also_run_disabled_tests";
    SetEnvironmentVariableW(L"PLUMIX_LOG_CHILD", std::to_wstring(i).c_str());
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                               log.folder().c_str(), &startup, &process));
    children.push_back(process);
  }
  SetEnvironmentVariableW(L"PLUMIX_LOG_CHILD", nullptr);
  for (PROCESS_INFORMATION& child : children) {
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(child.hProcess, 60000));
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
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

// The writer side of ConcurrentProcessesLoseNoLine; does nothing on its own.
TEST(InstallLogChild, WritesLines) {
  wchar_t writer[16];
  if (GetEnvironmentVariableW(L"PLUMIX_LOG_CHILD", writer, 16) == 0) GTEST_SKIP();
  for (int i = 0; i < 200; ++i) {
    WriteInstallLog(LogLevel::Error,
                    std::wstring(writer) + L" " + std::to_wstring(i) + L" padding-padding");
  }
}
