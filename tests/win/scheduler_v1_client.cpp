#include "scheduler_v1_client.h"

#include <wrl/client.h>

#include <functional>

#include "common/unique_handle.h"
#include "support/test_files.h"

using Microsoft::WRL::ComPtr;

namespace {

// Wine's scheduler service reads each work item that changes and holds the
// file meanwhile, so a sharing violation right after a save is waited out,
// for two seconds at most.
UniqueFileHandle OpenWorkItemFile(const std::wstring& path) {
  for (int attempt = 0; attempt < 40; ++attempt) {
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.valid() || GetLastError() != ERROR_SHARING_VIOLATION) return file;
    Sleep(50);
  }
  return UniqueFileHandle();
}

HRESULT WithScheduler(const std::function<HRESULT(ITaskScheduler*)>& use) {
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return E_UNEXPECTED;
  HRESULT result;
  {
    ComPtr<ITaskScheduler> scheduler;
    result = CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskScheduler,
                              reinterpret_cast<void**>(scheduler.GetAddressOf()));
    if (SUCCEEDED(result)) result = use(scheduler.Get());
  }
  CoUninitialize();
  return result;
}

// A text the work item hands out in memory the caller frees.
template <typename Getter>
std::wstring ReadText(Getter get) {
  LPWSTR text = nullptr;
  if (FAILED(get(&text)) || text == nullptr) return L"(unreadable)";
  std::wstring copy = text;
  CoTaskMemFree(text);
  return copy;
}

HRESULT ReadTriggers(ITask* task, std::vector<TASK_TRIGGER>& triggers) {
  WORD count = 0;
  HRESULT result = task->GetTriggerCount(&count);
  for (WORD index = 0; SUCCEEDED(result) && index < count; ++index) {
    ComPtr<ITaskTrigger> trigger;
    result = task->GetTrigger(index, &trigger);
    TASK_TRIGGER fields = {};
    fields.cbTriggerSize = sizeof(fields);
    if (SUCCEEDED(result)) result = trigger->GetTrigger(&fields);
    triggers.push_back(fields);
  }
  return result;
}

}  // namespace

HRESULT ReadWorkItem(const wchar_t* name, WorkItem& item) {
  return WithScheduler([&](ITaskScheduler* scheduler) {
    ComPtr<ITask> task;
    HRESULT result = scheduler->Activate(name, IID_ITask, reinterpret_cast<IUnknown**>(task.GetAddressOf()));
    if (FAILED(result)) return result;
    item.application = ReadText([&](LPWSTR* text) { return task->GetApplicationName(text); });
    item.creator = ReadText([&](LPWSTR* text) { return task->GetCreator(text); });
    item.comment = ReadText([&](LPWSTR* text) { return task->GetComment(text); });
    task->GetFlags(&item.flags);
    return ReadTriggers(task.Get(), item.triggers);
  });
}

HRESULT SaveWorkItem(const wchar_t* name, const WorkItem& item) {
  return WithScheduler([&](ITaskScheduler* scheduler) {
    ComPtr<ITask> task;
    HRESULT result = scheduler->NewWorkItem(name, CLSID_CTask, IID_ITask,
                                            reinterpret_cast<IUnknown**>(task.GetAddressOf()));
    if (SUCCEEDED(result)) result = task->SetAccountInformation(L"", nullptr);
    if (SUCCEEDED(result)) result = task->SetApplicationName(item.application.c_str());
    if (SUCCEEDED(result)) result = task->SetCreator(item.creator.c_str());
    for (TASK_TRIGGER fields : item.triggers) {
      WORD index = 0;
      ComPtr<ITaskTrigger> trigger;
      if (SUCCEEDED(result)) result = task->CreateTrigger(&index, &trigger);
      if (SUCCEEDED(result)) result = trigger->SetTrigger(&fields);
    }
    ComPtr<IPersistFile> file;
    if (SUCCEEDED(result)) result = task.As(&file);
    if (SUCCEEDED(result)) result = file->Save(nullptr, TRUE);
    return result;
  });
}

std::wstring WorkItemFile(const wchar_t* name) {
  wchar_t windows[MAX_PATH];
  GetWindowsDirectoryW(windows, MAX_PATH);
  return std::wstring(windows) + L"\\Tasks\\" + name + L".job";
}

bool RemoveTriggersFromFile(const wchar_t* name) {
  // The fixed part of a .job file holds, at byte 22, the offset of the
  // trigger count; a count of 0 leaves the trigger records unread.
  UniqueFileHandle file = OpenWorkItemFile(WorkItemFile(name));
  BYTE offsetBytes[2] = {};
  DWORD read = 0;
  if (!file.valid() || SetFilePointer(file.get(), 22, nullptr, FILE_BEGIN) != 22 ||
      !ReadFile(file.get(), offsetBytes, 2, &read, nullptr) || read != 2) {
    return false;
  }
  LONG countOffset = offsetBytes[0] | offsetBytes[1] << 8;
  const BYTE noTriggers[2] = {0, 0};
  DWORD written = 0;
  return SetFilePointer(file.get(), countOffset, nullptr, FILE_BEGIN) ==
             static_cast<DWORD>(countOffset) &&
         WriteFile(file.get(), noTriggers, 2, &written, nullptr) && written == 2;
}

HRESULT DeleteWorkItem(const wchar_t* name) {
  return WithScheduler([&](ITaskScheduler* scheduler) { return scheduler->Delete(name); });
}

std::wstring TriggerText(const TASK_TRIGGER& t) {
  auto n = [](unsigned long value) { return std::to_wstring(value); };
  return L"size " + n(t.cbTriggerSize) + L", reserved1 " + n(t.Reserved1) + L", begin " + n(t.wBeginYear) +
         L"-" + n(t.wBeginMonth) + L"-" + n(t.wBeginDay) + L", end " + n(t.wEndYear) + L"-" + n(t.wEndMonth) +
         L"-" + n(t.wEndDay) + L", start " + n(t.wStartHour) + L":" + n(t.wStartMinute) + L", duration " +
         n(t.MinutesDuration) + L", interval " + n(t.MinutesInterval) + L", flags " + n(t.rgFlags) +
         L", type " + n(t.TriggerType) + L", days " + n(t.Type.Daily.DaysInterval) + L", rest of type " +
         n(t.Type.MonthlyDOW.rgfDaysOfTheWeek) + L" " + n(t.Type.MonthlyDOW.rgfMonths) + L", reserved2 " +
         n(t.Reserved2) + L", random " + n(t.wRandomMinutesInterval);
}
