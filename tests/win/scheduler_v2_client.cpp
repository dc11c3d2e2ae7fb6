#include "scheduler_v2_client.h"

#include <taskschd.h>
#include <wrl/client.h>

#include <functional>
#include <string>

#include "task/com_owners.h"

using Microsoft::WRL::ComPtr;

namespace {

HRESULT WithRootFolder(const std::function<HRESULT(ITaskFolder*)>& use) {
  if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return E_UNEXPECTED;
  HRESULT result;
  {
    ComPtr<ITaskService> service;
    ComPtr<ITaskFolder> root;
    UniqueVariant none;
    result = CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                              reinterpret_cast<void**>(service.GetAddressOf()));
    if (SUCCEEDED(result)) result = service->Connect(none.get(), none.get(), none.get(), none.get());
    if (SUCCEEDED(result)) result = service->GetFolder(UniqueBstr(L"\\").get(), &root);
    if (SUCCEEDED(result)) result = use(root.Get());
  }
  CoUninitialize();
  return result;
}

}  // namespace

HRESULT FindTaskV2(const wchar_t* name) {
  return WithRootFolder([&](ITaskFolder* root) {
    ComPtr<IRegisteredTask> task;
    return root->GetTask(UniqueBstr(name).get(), &task);
  });
}

HRESULT RegisterDailyTaskV2(const wchar_t* name, const wchar_t* program) {
  std::wstring xml =
      L"<?xml version=\"1.0\"?>"
      L"<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">"
      L"<Triggers><CalendarTrigger><StartBoundary>2000-01-01T01:23:00Z</StartBoundary>"
      L"<ScheduleByDay><DaysInterval>1</DaysInterval></ScheduleByDay></CalendarTrigger></Triggers>"
      L"<Actions><Exec><Command>" +
      std::wstring(program) + L"</Command></Exec></Actions></Task>";
  return WithRootFolder([&](ITaskFolder* root) {
    ComPtr<IRegisteredTask> task;
    UniqueVariant none;
    return root->RegisterTask(UniqueBstr(name).get(), UniqueBstr(xml.c_str()).get(), TASK_CREATE_OR_UPDATE,
                              none.get(), none.get(), TASK_LOGON_NONE, none.get(), &task);
  });
}

HRESULT DeleteTaskV2(const wchar_t* name) {
  return WithRootFolder([&](ITaskFolder* root) { return root->DeleteTask(UniqueBstr(name).get(), 0); });
}
