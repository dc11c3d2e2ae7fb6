#include "service/process_entry.h"

#include <windows.h>

#include <cwchar>
#include <memory>
#include <new>

#include "log/install_log.h"
#include "service/service_control.h"
#include "service/service_descriptor.h"
#include "service/service_start.h"
#include "settings/auto_update_policy.h"
#include "task/update_task.h"
#include "update/update_state.h"

const wchar_t kServiceName[] = L"QuorvelPlumixPlayerUpdateSvc";
const wchar_t kServiceDisplayName[] = L"Quorvel Plumix Player Update Service";

namespace {

constexpr int kSilentUpdatingOnExitCode = 1001;

bool IsSwitch(const wchar_t* argument, const wchar_t* name) { return std::wcscmp(argument, name) == 0; }

void RunServiceRole(const ServiceDescriptor& descriptor, DWORD pathError,
                    const PlatformAccess& platform) {
  std::unique_ptr<ServiceContext> context = CreateServiceContext(descriptor.modulePath, platform);
  context->modulePathError = pathError;
  CurrentServiceContext = context.get();
  bool dispatched = RunServiceDispatcher();
  CurrentServiceContext = nullptr;
  context.reset();
  if (!dispatched) RequestServiceStart(descriptor);
}

// Every comparison is made; the texts differ, so at most one switch acts.
int RunSwitch(const wchar_t* argument, const ServiceDescriptor& descriptor, DWORD pathError) {
  int exitCode = 0;
  if (IsSwitch(argument, L"-deleteTask")) {
    DeleteUpdateState();
    DeleteUpdateTask();
  }
  if (IsSwitch(argument, L"-createDefaultTask")) {
    if (StoreUpdateAttempts(0)) StoreLastUpdateCheck(true);
    if (HasProgramPath(descriptor.modulePath, pathError)) CreateDefaultTask(descriptor.modulePath);
  }
  if (IsSwitch(argument, L"-setSilentAutoUpdate")) SetAutoUpdateMode(AutoUpdateMode::Silent);
  if (IsSwitch(argument, L"-setNotifyAutoUpdate")) SetAutoUpdateMode(AutoUpdateMode::Notify);
  if (IsSwitch(argument, L"-setDisableAutoUpdate")) SetAutoUpdateMode(AutoUpdateMode::Disable);
  if (IsSwitch(argument, L"-isSAUEnabled") && IsSilentAutoUpdateEnabled()) {
    exitCode = kSilentUpdatingOnExitCode;
  }
  return exitCode;
}

}  // namespace

int RunProcessEntry(int argumentCount, wchar_t** arguments, const PlatformAccess& platform) {
  int exitCode = 0;
  // The path must fit in 260 units; a longer or unresolvable one leaves the
  // buffer empty rather than truncated.
  wchar_t modulePath[MAX_PATH] = {};
  DWORD length = GetFullPathNameW(arguments[0], MAX_PATH, modulePath, nullptr);
  // Why the path is missing, for the line of a switch that needs it.
  DWORD pathError = length == 0 ? GetLastError() : ERROR_FILENAME_EXCED_RANGE;
  if (length == 0 || length >= MAX_PATH) modulePath[0] = L'\0';

  WriteInstallLog(LogLevel::Info, modulePath);
  LogEvent(LogLevel::Info, 1617);
  if (argumentCount > 1) WriteInstallLog(LogLevel::Info, arguments[1]);

  try {
    ServiceDescriptor descriptor{modulePath, kServiceName, kServiceDisplayName};
    if (argumentCount < 2) {
      RunServiceRole(descriptor, pathError, platform);
    } else {
      exitCode = RunSwitch(arguments[1], descriptor, pathError);
    }
  } catch (const std::bad_alloc&) {
    CurrentServiceContext = nullptr;
    LogEventLastError(LogLevel::Error, 1239);
  }
  return exitCode;
}
