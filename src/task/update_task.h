#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

extern const wchar_t UpdateTaskName[];  // "Quorvel Plumix Player Updater"

struct UpdateTaskRequest {
  int32_t frequency;
  std::wstring programPath;
  int32_t schedulerVersion;  // 1 or 2
};

// 2 on Windows NT 6.0 and later, 1 otherwise.
int32_t SelectSchedulerVersion();
std::unique_ptr<UpdateTaskRequest> MakeUpdateTaskRequest(int32_t frequency, const std::wstring& programPath);

// Creates the task or updates the repetition interval of the existing one,
// through the scheduler version of the request.
bool RegisterUpdateTask(const UpdateTaskRequest& request);
// A task without a program would run nothing: false for an empty program
// path (the program's own did not fit in 260 units or could not be
// resolved), after logging event 1302 with pathError, why it is missing.
bool HasProgramPath(const std::wstring& programPath, DWORD pathError);
// Registers the task with frequency 1 and the given program.
bool CreateDefaultTask(const std::wstring& programPath);
// Deletes the task; false (and no line) when it does not exist.
bool DeleteUpdateTask();

bool RegisterUpdateTaskV1(const UpdateTaskRequest& request);
bool DeleteUpdateTaskV1();
bool RegisterUpdateTaskV2(const UpdateTaskRequest& request);
bool DeleteUpdateTaskV2();

// String resource 110 of the program, or "MISSING LOCALIZATION".
std::wstring LoadTaskDescription();
