// Appends lines to the install log of its current directory as the service
// does, "WRITER I padding-padding" for I from 0 to COUNT - 1, so that the
// install log tests can run several writers at once. A line the log reports
// lost to a lock held past its wait is appended again, so that every line
// must arrive. With --hold it is instead another program that locks the
// whole log for SECONDS (a reader or a log collector could), saying "held"
// on standard output once it does.
//   install_log_writer.exe WRITER COUNT
//   install_log_writer.exe --hold SECONDS
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "common/unique_handle.h"
#include "log/install_log.h"

namespace {

// Far more than several writers' appends can cost one line.
constexpr int kAttemptsPerLine = 1000;

int HoldLog(DWORD seconds) {
  UniqueFileHandle log(CreateFileW(kInstallLogPath, GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  OVERLAPPED whole = {};
  if (!log.valid() || !LockFileEx(log.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
    return 1;
  }
  std::puts("held");
  std::fflush(stdout);
  Sleep(seconds * 1000);
  return 0;
}

}  // namespace

int wmain(int argumentCount, wchar_t** arguments) {
  if (argumentCount != 3) return 2;
  if (std::wcscmp(arguments[1], L"--hold") == 0) return HoldLog(std::wcstoul(arguments[2], nullptr, 10));
  const std::wstring writer = arguments[1];
  const long count = std::wcstol(arguments[2], nullptr, 10);
  const LogTimestamp stamp{2011, 6, 7, 8, 5, 3, 42};
  for (long i = 0; i < count; ++i) {
    std::wstring line = FormatInstallLogLine(
        stamp, LogLevel::Error, writer + L" " + std::to_wstring(i) + L" padding-padding");
    int attempts = 0;
    while (!AppendInstallLogLine(line)) {
      if (++attempts == kAttemptsPerLine) return 1;
    }
  }
  return 0;
}
