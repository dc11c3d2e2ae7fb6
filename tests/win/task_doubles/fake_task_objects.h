#pragma once

#include <windows.h>

#include <string>

#include "task_doubles/fake_task_scheduler.h"
#include "task_scheduler_stubs.h"

// The test doubles of the Task Scheduler 2.0 objects. Each records its calls
// with FakeTaskScheduler and counts itself alive until its last Release.

template <typename Stub>
class FakeObject : public Stub {
 public:
  FakeObject(FakeTaskScheduler& scheduler, const wchar_t* interfaceName)
      : scheduler_(scheduler), interfaceName_(interfaceName) {
    scheduler_.ObjectMade();
  }
  virtual ~FakeObject() { scheduler_.ObjectGone(); }
  FakeObject(const FakeObject&) = delete;
  FakeObject& operator=(const FakeObject&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    *object = nullptr;
    HRESULT result = Record(L"QueryInterface", InterfaceName(iid));
    if (FAILED(result)) return result;
    if (iid != __uuidof(IUnknown) && iid != __uuidof(IDispatch) && !Stub::Implements(iid)) {
      return E_NOINTERFACE;
    }
    *object = static_cast<Stub*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override {
    return UnexpectedCall(L"IDispatch::GetTypeInfoCount");
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override {
    return UnexpectedCall(L"IDispatch::GetTypeInfo");
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return UnexpectedCall(L"IDispatch::GetIDsOfNames");
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return UnexpectedCall(L"IDispatch::Invoke");
  }

  HRESULT UnexpectedCall(const wchar_t* method) override {
    scheduler_.Call(std::wstring(L"unexpected ") + method);
    return E_NOTIMPL;
  }

 protected:
  // Records "Interface::method(arguments)" and answers as the scheduler says.
  HRESULT Record(const wchar_t* method, const std::wstring& arguments = L"") {
    return scheduler_.Call(std::wstring(interfaceName_) + L"::" + method + L"(" + arguments + L")");
  }

  // Records the call and, when it succeeds, hands out a new object.
  template <typename Interface, typename Make>
  HRESULT Hand(const wchar_t* method, const std::wstring& arguments, Interface** out, Make make) {
    *out = nullptr;
    HRESULT result = Record(method, arguments);
    if (SUCCEEDED(result)) *out = make();
    return result;
  }

  FakeTaskScheduler& scheduler_;

 private:
  const wchar_t* interfaceName_;
  ULONG references_ = 1;
};

class FakeRepetitionPattern : public FakeObject<IRepetitionPatternStub> {
 public:
  explicit FakeRepetitionPattern(FakeTaskScheduler& scheduler)
      : FakeObject(scheduler, L"IRepetitionPattern") {}
  HRESULT STDMETHODCALLTYPE put_Duration(BSTR duration) override {
    return Record(L"put_Duration", ArgumentText(duration));
  }
  HRESULT STDMETHODCALLTYPE put_Interval(BSTR interval) override {
    return Record(L"put_Interval", ArgumentText(interval));
  }
};

// Created as a daily trigger; its calls are recorded under the interface
// that declares them.
class FakeDailyTrigger : public FakeObject<IDailyTriggerStub> {
 public:
  explicit FakeDailyTrigger(FakeTaskScheduler& scheduler) : FakeObject(scheduler, L"ITrigger") {}
  HRESULT STDMETHODCALLTYPE put_Id(BSTR id) override { return Record(L"put_Id", ArgumentText(id)); }
  HRESULT STDMETHODCALLTYPE put_StartBoundary(BSTR start) override {
    return Record(L"put_StartBoundary", ArgumentText(start));
  }
  HRESULT STDMETHODCALLTYPE put_DaysInterval(short days) override {
    return scheduler_.Call(L"IDailyTrigger::put_DaysInterval(" + std::to_wstring(days) + L")");
  }
  HRESULT STDMETHODCALLTYPE get_Repetition(IRepetitionPattern** pattern) override {
    return Hand(L"get_Repetition", L"", pattern, [this] { return new FakeRepetitionPattern(scheduler_); });
  }
};

class FakeTriggerCollection : public FakeObject<ITriggerCollectionStub> {
 public:
  explicit FakeTriggerCollection(FakeTaskScheduler& scheduler)
      : FakeObject(scheduler, L"ITriggerCollection") {}
  HRESULT STDMETHODCALLTYPE get_Count(LONG* count) override {
    HRESULT result = Record(L"get_Count");
    *count = SUCCEEDED(result) ? scheduler_.existingTriggerCount : 0;
    return result;
  }
  HRESULT STDMETHODCALLTYPE get_Item(LONG index, ITrigger** trigger) override {
    return Hand(L"get_Item", std::to_wstring(index), trigger,
                [this] { return new FakeDailyTrigger(scheduler_); });
  }
  HRESULT STDMETHODCALLTYPE Create(TASK_TRIGGER_TYPE2 type, ITrigger** trigger) override {
    return Hand(L"Create", std::to_wstring(type), trigger,
                [this] { return new FakeDailyTrigger(scheduler_); });
  }
};

class FakeExecAction : public FakeObject<IExecActionStub> {
 public:
  explicit FakeExecAction(FakeTaskScheduler& scheduler) : FakeObject(scheduler, L"IAction") {}
  HRESULT STDMETHODCALLTYPE put_Path(BSTR path) override {
    return scheduler_.Call(L"IExecAction::put_Path(" + ArgumentText(path) + L")");
  }
};

class FakeActionCollection : public FakeObject<IActionCollectionStub> {
 public:
  explicit FakeActionCollection(FakeTaskScheduler& scheduler)
      : FakeObject(scheduler, L"IActionCollection") {}
  HRESULT STDMETHODCALLTYPE Create(TASK_ACTION_TYPE type, IAction** action) override {
    return Hand(L"Create", std::to_wstring(type), action, [this] { return new FakeExecAction(scheduler_); });
  }
};

class FakeTaskSettings : public FakeObject<ITaskSettingsStub> {
 public:
  explicit FakeTaskSettings(FakeTaskScheduler& scheduler) : FakeObject(scheduler, L"ITaskSettings") {}
  HRESULT STDMETHODCALLTYPE put_Compatibility(TASK_COMPATIBILITY level) override {
    return Record(L"put_Compatibility", std::to_wstring(level));
  }
  HRESULT STDMETHODCALLTYPE put_DisallowStartIfOnBatteries(VARIANT_BOOL disallow) override {
    return Record(L"put_DisallowStartIfOnBatteries", std::to_wstring(disallow));
  }
  HRESULT STDMETHODCALLTYPE put_RunOnlyIfNetworkAvailable(VARIANT_BOOL run) override {
    return Record(L"put_RunOnlyIfNetworkAvailable", std::to_wstring(run));
  }
};

class FakeRegistrationInfo : public FakeObject<IRegistrationInfoStub> {
 public:
  explicit FakeRegistrationInfo(FakeTaskScheduler& scheduler)
      : FakeObject(scheduler, L"IRegistrationInfo") {}
  HRESULT STDMETHODCALLTYPE put_Author(BSTR author) override {
    return Record(L"put_Author", ArgumentText(author));
  }
  HRESULT STDMETHODCALLTYPE put_Description(BSTR description) override {
    return Record(L"put_Description", ArgumentText(description));
  }
};

// A definition made by NewTask ("new definition") or read from the existing
// task ("existing definition"); registration records which one it was given.
class FakeTaskDefinition : public FakeObject<ITaskDefinitionStub> {
 public:
  FakeTaskDefinition(FakeTaskScheduler& scheduler, const wchar_t* label)
      : FakeObject(scheduler, L"ITaskDefinition"), label_(label) {}
  const wchar_t* label() const { return label_; }

  HRESULT STDMETHODCALLTYPE get_Settings(ITaskSettings** settings) override {
    return Hand(L"get_Settings", L"", settings, [this] { return new FakeTaskSettings(scheduler_); });
  }
  HRESULT STDMETHODCALLTYPE get_RegistrationInfo(IRegistrationInfo** info) override {
    return Hand(L"get_RegistrationInfo", L"", info, [this] { return new FakeRegistrationInfo(scheduler_); });
  }
  HRESULT STDMETHODCALLTYPE get_Triggers(ITriggerCollection** triggers) override {
    return Hand(L"get_Triggers", L"", triggers, [this] { return new FakeTriggerCollection(scheduler_); });
  }
  HRESULT STDMETHODCALLTYPE get_Actions(IActionCollection** actions) override {
    return Hand(L"get_Actions", L"", actions, [this] { return new FakeActionCollection(scheduler_); });
  }

 private:
  const wchar_t* label_;
};

class FakeRegisteredTask : public FakeObject<IRegisteredTaskStub> {
 public:
  explicit FakeRegisteredTask(FakeTaskScheduler& scheduler) : FakeObject(scheduler, L"IRegisteredTask") {}
  HRESULT STDMETHODCALLTYPE get_Definition(ITaskDefinition** definition) override {
    return Hand(L"get_Definition", L"", definition,
                [this] { return new FakeTaskDefinition(scheduler_, L"existing definition"); });
  }
};

class FakeTaskFolder : public FakeObject<ITaskFolderStub> {
 public:
  explicit FakeTaskFolder(FakeTaskScheduler& scheduler) : FakeObject(scheduler, L"ITaskFolder") {}

  HRESULT STDMETHODCALLTYPE GetTask(BSTR path, IRegisteredTask** task) override {
    *task = nullptr;
    HRESULT result = Record(L"GetTask", ArgumentText(path));
    if (FAILED(result)) return result;
    if (!scheduler_.taskExists) return scheduler_.missingTaskResult;
    *task = new FakeRegisteredTask(scheduler_);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE RegisterTaskDefinition(BSTR path, ITaskDefinition* definition, LONG flags,
                                                   VARIANT user, VARIANT password, TASK_LOGON_TYPE logon,
                                                   VARIANT sddl, IRegisteredTask** task) override {
    auto* fake = dynamic_cast<FakeTaskDefinition*>(definition);
    std::wstring arguments = ArgumentText(path) + L", " + (fake ? fake->label() : L"another definition") +
                             L", " + std::to_wstring(flags) + L", " + ArgumentText(user) + L", " +
                             ArgumentText(password) + L", " + std::to_wstring(logon) + L", " +
                             ArgumentText(sddl) + L", " + (task ? L"out" : L"no out");
    if (task) *task = nullptr;
    HRESULT result = Record(L"RegisterTaskDefinition", arguments);
    if (SUCCEEDED(result) && task) *task = new FakeRegisteredTask(scheduler_);
    return result;
  }

  HRESULT STDMETHODCALLTYPE DeleteTask(BSTR name, LONG flags) override {
    HRESULT result = Record(L"DeleteTask", ArgumentText(name) + L", " + std::to_wstring(flags));
    return FAILED(result) ? result : scheduler_.deleteResult;
  }
};

class FakeTaskService : public FakeObject<ITaskServiceStub> {
 public:
  explicit FakeTaskService(FakeTaskScheduler& scheduler) : FakeObject(scheduler, L"ITaskService") {}

  HRESULT STDMETHODCALLTYPE Connect(VARIANT server, VARIANT user, VARIANT domain, VARIANT password) override {
    return Record(L"Connect", ArgumentText(server) + L", " + ArgumentText(user) + L", " +
                                  ArgumentText(domain) + L", " + ArgumentText(password));
  }
  HRESULT STDMETHODCALLTYPE GetFolder(BSTR path, ITaskFolder** folder) override {
    return Hand(L"GetFolder", ArgumentText(path), folder, [this] { return new FakeTaskFolder(scheduler_); });
  }
  HRESULT STDMETHODCALLTYPE NewTask(DWORD flags, ITaskDefinition** definition) override {
    return Hand(L"NewTask", std::to_wstring(flags), definition,
                [this] { return new FakeTaskDefinition(scheduler_, L"new definition"); });
  }
};
