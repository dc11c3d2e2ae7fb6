#include "update/installer_launch.h"

#include <windows.h>

#include <new>

#include "common/unique_handle.h"
#include "log/install_log.h"
#include "net/installer_download.h"

#if defined(_M_IX86) || defined(__i386__)
static_assert(sizeof(STARTUPINFOW) == 68, "CreateProcessW takes the start-up information by size");
#endif

namespace {

const wchar_t kInstallerCommandLine[] = L"PlumixPlayerInstaller.exe -install -iv 9";

// The full path of the installer file in the current directory, where
// DownloadInstaller has just written it. Naming it as the application keeps
// the platform's executable search (which looks in this program's own folder
// first) from starting some other file of that name.
bool InstallerFilePath(std::wstring& path) {
  wchar_t buffer[MAX_PATH] = {};
  DWORD length = GetFullPathNameW(kInstallerFileName, MAX_PATH, buffer, nullptr);
  if (length == 0 || length >= MAX_PATH) return false;
  path = buffer;
  return true;
}

}  // namespace

bool InstallUpdate(const VersionRecord& record, const ServiceContext& context) {
  try {
    if (!DownloadInstaller(record.variant, context)) return false;
  } catch (const std::bad_alloc&) {
    LogEventLastError(LogLevel::Error, 1236);
    return false;
  }
  try {
    return LaunchInstaller(kInstallerCommandLine);
  } catch (const std::bad_alloc&) {
    LogEventLastError(LogLevel::Error, 1235);
    return false;
  }
}

bool LaunchInstaller(std::wstring commandLine) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  std::wstring application;
  // No console and the platform's default error mode rather than the
  // service's; the installer is not waited for.
  const DWORD flags = CREATE_DEFAULT_ERROR_MODE | DETACHED_PROCESS;
  BOOL created = InstallerFilePath(application) &&
                 CreateProcessW(application.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                                flags, nullptr, nullptr, &startup, &process);
  // Owned before the log line, which can run out of memory.
  UniqueKernelHandle processHandle(process.hProcess);
  UniqueKernelHandle threadHandle(process.hThread);
  if (created) {
    LogEvent(LogLevel::Info, 1602);
  } else {
    LogEventLastError(LogLevel::Error, 1218);
  }
  return created != 0;
}
