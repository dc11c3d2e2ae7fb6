#include "log/install_log.h"

#include <windows.h>

#include <cstdio>

#include "common/unique_handle.h"

std::atomic<bool> VerboseLogging{false};

const wchar_t kInstallLogPath[] = L"Oskvar\\Plumix\\PlumixInstall.log";

namespace {

LogTimestamp CurrentUtcTimestamp() {
  SYSTEMTIME now;
  GetSystemTime(&now);
  return LogTimestamp{now.wYear, now.wMonth,  now.wDay,         now.wHour,
                      now.wMinute, now.wSecond, now.wMilliseconds};
}

void EchoOnStandardOutput(const std::wstring& line) {
  fputws(line.c_str(), stdout);
  fputwc(L'\n', stdout);
  fflush(stdout);
}

// Appends are serialised between processes by a lock on one byte far beyond
// any real end of file: append access alone does not make "find the end and
// write" one step on every platform, and without the lock two processes can
// write at the same offset and lose a line. Readers are never blocked.
void AppendToLogFile(const std::wstring& line) {
  UniqueFileHandle file(CreateFileW(kInstallLogPath, FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return;
  OVERLAPPED lockRange = {};
  lockRange.Offset = 0xFFFFFFFE;
  lockRange.OffsetHigh = 0x7FFFFFFF;
  bool locked = LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lockRange) != 0;
  DWORD written = 0;
  WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size() * sizeof(wchar_t)), &written,
            nullptr);
  if (locked) UnlockFileEx(file.get(), 0, 1, 0, &lockRange);
}

}  // namespace

bool IsInstallLogLevelEnabled(LogLevel level) {
  return level == LogLevel::Error || VerboseLogging.load(std::memory_order_relaxed);
}

void WriteInstallLog(LogLevel level, std::wstring message) {
  if (!IsInstallLogLevelEnabled(level)) return;
  // Keep the caller's last-error value: logging must not disturb it.
  DWORD lastError = GetLastError();
  std::wstring line = FormatInstallLogLine(CurrentUtcTimestamp(), level, message);
  EchoOnStandardOutput(line);
  AppendToLogFile(line);
  SetLastError(lastError);
}

void LogEvent(LogLevel level, int32_t code) {
  if (!IsInstallLogLevelEnabled(level)) return;
  WriteInstallLog(level, ToDecimalString(code));
}

void LogEventValue(LogLevel level, int32_t code, int32_t value) {
  if (!IsInstallLogLevelEnabled(level)) return;
  WriteInstallLog(level, ToDecimalString(code) + L" " + ToDecimalString(value));
}

void LogEventText(LogLevel level, int32_t code, const std::wstring& text) {
  if (!IsInstallLogLevelEnabled(level)) return;
  WriteInstallLog(level, ToDecimalString(code) + L" " + text);
}

void LogEventLastError(LogLevel level, int32_t code) {
  int32_t error = static_cast<int32_t>(GetLastError());
  LogEventValue(level, code, error);
}
