#include "task/update_task.h"

#include <windows.h>

#include "log/install_log.h"
#include "task/task_schedule.h"
#include "task/task_values.h"

const wchar_t UpdateTaskName[] = L"Quorvel Plumix Player Updater";
const wchar_t TaskAuthor[] = L"Quorvel Systems Incorporated";

#if defined(_M_IX86) || defined(__i386__)
static_assert(sizeof(OSVERSIONINFOA) == 148, "GetVersionExA tells the structure by its size");
#endif

int32_t SelectSchedulerVersion() {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof(version);
  if (!GetVersionExA(&version)) return 1;
  return SchedulerVersionFor(version.dwPlatformId, version.dwMajorVersion);
}

std::unique_ptr<UpdateTaskRequest> MakeUpdateTaskRequest(int32_t frequency,
                                                         const std::wstring& programPath) {
  return std::make_unique<UpdateTaskRequest>(
      UpdateTaskRequest{frequency, programPath, SelectSchedulerVersion()});
}

bool RegisterUpdateTask(const UpdateTaskRequest& request) {
  if (request.schedulerVersion == 1) return RegisterUpdateTaskV1(request);
  return RegisterUpdateTaskV2(request);
}

bool HasProgramPath(const std::wstring& programPath, DWORD pathError) {
  if (!programPath.empty()) return true;
  SetLastError(pathError);
  LogEventLastError(LogLevel::Error, 1302);
  return false;
}

bool CreateDefaultTask(const std::wstring& programPath) {
  std::unique_ptr<UpdateTaskRequest> request = MakeUpdateTaskRequest(1, programPath);
  return RegisterUpdateTask(*request);
}

bool DeleteUpdateTask() {
  if (SelectSchedulerVersion() == 2) return DeleteUpdateTaskV2();
  return DeleteUpdateTaskV1();
}
