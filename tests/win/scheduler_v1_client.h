#pragma once

#include <windows.h>
#include <mstask.h>

#include <string>
#include <vector>

// The test's own access to the real Task Scheduler 1.0, to prepare a work
// item and read back what the code under test stored. Each call enters and
// leaves COM by itself.

struct WorkItem {
  std::vector<TASK_TRIGGER> triggers;
  std::wstring application;
  std::wstring creator;
  std::wstring comment;
  DWORD flags = 0;
};

// Activate's answer for the name; the work item's content when it is S_OK.
HRESULT ReadWorkItem(const wchar_t* name, WorkItem& item);
// Creates or replaces a work item with the given triggers, program and creator.
HRESULT SaveWorkItem(const wchar_t* name, const WorkItem& item);
HRESULT DeleteWorkItem(const wchar_t* name);

// The .job file of a work item.
std::wstring WorkItemFile(const wchar_t* name);
// Sets the trigger count in a work item's file to 0. The scheduler always
// saves at least one trigger, but reads a file without any.
bool RemoveTriggersFromFile(const wchar_t* name);

// Every field of a trigger, for comparisons that show what differs.
std::wstring TriggerText(const TASK_TRIGGER& trigger);
