#include "task_doubles/fake_task_scheduler.h"

#include <cwchar>

#include "task_doubles/fake_task_objects.h"

namespace {

FakeTaskScheduler* activeScheduler = nullptr;

HRESULT FakeInitializeSecurity() { return activeScheduler->Call(L"CoInitializeSecurity()"); }

HRESULT FakeCreateService(ITaskService** service) {
  *service = nullptr;
  HRESULT result = activeScheduler->Call(L"CoCreateInstance(TaskScheduler)");
  if (SUCCEEDED(result)) *service = new FakeTaskService(*activeScheduler);
  return result;
}

}  // namespace

FakeTaskScheduler::FakeTaskScheduler() { activeScheduler = this; }

FakeTaskScheduler::~FakeTaskScheduler() { activeScheduler = nullptr; }

TaskServiceAccess FakeTaskScheduler::Access() const {
  return TaskServiceAccess{FakeInitializeSecurity, FakeCreateService};
}

HRESULT FakeTaskScheduler::Call(const std::wstring& call) {
  calls_.push_back(call);
  if (!Fails(call)) return S_OK;
  SetLastError(kFailureErrorNumber);
  return kFailure;
}

bool FakeTaskScheduler::Fails(const std::wstring& call) const {
  if (failingCall.empty()) return false;
  return call == failingCall || call.substr(0, call.find(L'(')) == failingCall;
}

std::wstring ArgumentText(BSTR text) {
  if (text == nullptr) return L"(null)";
  // A real BSTR carries its length before the text.
  if (SysStringLen(text) != wcslen(text)) return L"(not a BSTR)";
  return text;
}

std::wstring ArgumentText(const VARIANT& value) {
  if (value.vt == VT_EMPTY) return L"EMPTY";
  if (value.vt == VT_BSTR) return L"BSTR:" + ArgumentText(value.bstrVal);
  return L"VT " + std::to_wstring(value.vt);
}
