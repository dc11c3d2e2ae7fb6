#pragma once

#include <windows.h>
#include <taskschd.h>

#include "task/update_task.h"

// The two calls through which the Task Scheduler 2.0 operations reach the
// scheduler. The program uses kSystemTaskService; tests hand in in-process
// test doubles, since Wine's scheduler stores no triggers.
struct TaskServiceAccess {
  // CoInitializeSecurity for the process (packet privacy, impersonation).
  HRESULT (*initializeSecurity)();
  // The task service object: CoCreateInstance of CLSID_TaskScheduler.
  HRESULT (*createService)(ITaskService** service);
};

extern const TaskServiceAccess kSystemTaskService;

// RegisterUpdateTaskV2 and DeleteUpdateTaskV2 through the given access.
bool RegisterUpdateTaskV2(const UpdateTaskRequest& request, const TaskServiceAccess& access);
bool DeleteUpdateTaskV2(const TaskServiceAccess& access);
