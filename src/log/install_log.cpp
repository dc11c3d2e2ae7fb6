#include "log/install_log.h"

#include <windows.h>

#include <cstdio>

#include "common/unique_handle.h"

std::atomic<bool> VerboseLogging{false};

const wchar_t kInstallLogPath[] = L"Oskvar\\Plumix\\PlumixInstall.log";

#if defined(_M_IX86) || defined(__i386__)
static_assert(sizeof(wchar_t) == 2, "the log holds UTF-16 units of two bytes each");
#endif

namespace {

// How long a line waits for another writer's hold on the lock byte. An
// append holds it for microseconds; a program that holds it longer (or has
// locked the whole file) costs the line, never the caller's progress.
constexpr DWORD kLockWaitMilliseconds = 50;

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

enum class LockResult { Locked, Held, Unsupported };

// Takes the lock byte without ever blocking: tries again for
// kLockWaitMilliseconds by the tick counter while another handle holds it.
// A file system without byte-range locks answers otherwise.
LockResult LockAppendByte(HANDLE file, OVERLAPPED& range) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &range)) {
      return LockResult::Locked;
    }
    if (GetLastError() != ERROR_LOCK_VIOLATION) return LockResult::Unsupported;
    if (GetTickCount() - start >= kLockWaitMilliseconds) return LockResult::Held;
    Sleep(1);
  }
}

// Appends are serialised between processes by the lock byte: without it two
// processes can write at the same offset and lose a line. LockFileEx needs a
// handle with read or write access, and write access (FILE_WRITE_DATA) would
// let a write land elsewhere than at the end: read access joins the append
}  // namespace

// Appends are serialised between processes by the lock byte: without it two
// processes can write at the same offset and lose a line. LockFileEx needs a
// handle with read or write access, and write access (FILE_WRITE_DATA) would
// let a write land elsewhere than at the end: read access joins the append
// access, which alone keeps every write at the end.
bool AppendInstallLogLine(const std::wstring& line) {
  UniqueFileHandle file(CreateFileW(kInstallLogPath, GENERIC_READ | FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  OVERLAPPED lockRange = {};
  lockRange.Offset = static_cast<DWORD>(kInstallLogLockOffset);
  lockRange.OffsetHigh = static_cast<DWORD>(kInstallLogLockOffset >> 32);
  LockResult lock = LockAppendByte(file.get(), lockRange);
  if (lock == LockResult::Held) return false;
  const DWORD size = static_cast<DWORD>(line.size() * sizeof(wchar_t));
  DWORD written = 0;
  bool appended = WriteFile(file.get(), line.data(), size, &written, nullptr) && written == size;
  if (lock == LockResult::Locked) UnlockFileEx(file.get(), 0, 1, 0, &lockRange);
  return appended;
}

bool IsInstallLogLevelEnabled(LogLevel level) {
  return level == LogLevel::Error || VerboseLogging.load(std::memory_order_relaxed);
}

void WriteInstallLog(LogLevel level, std::wstring message) {
  if (!IsInstallLogLevelEnabled(level)) return;
  // Keep the caller's last-error value: logging must not disturb it.
  DWORD lastError = GetLastError();
  std::wstring line = FormatInstallLogLine(CurrentUtcTimestamp(), level, message);
  EchoOnStandardOutput(line);
  AppendInstallLogLine(line);
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
