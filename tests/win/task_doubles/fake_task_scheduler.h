#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "task/update_task_v2.h"

// An in-process Task Scheduler 2.0 for tests, reached through the access it
// gives out. Every call on any of its objects is recorded with its arguments,
// in order, as "Interface::Method(arguments)"; a call the doubles do not
// expect is recorded as "unexpected Interface::Method". Any one call can be
// made to fail. One scheduler is active at a time.
class FakeTaskScheduler {
 public:
  // What a failing call returns, and the thread's last-error value it leaves.
  static constexpr HRESULT kFailure = E_ACCESSDENIED;
  static constexpr DWORD kFailureErrorNumber = 1717;

  FakeTaskScheduler();
  ~FakeTaskScheduler();
  FakeTaskScheduler(const FakeTaskScheduler&) = delete;
  FakeTaskScheduler& operator=(const FakeTaskScheduler&) = delete;

  // The access to hand to the operations: process security and the service
  // object come from this scheduler.
  TaskServiceAccess Access() const;

  // The call to fail, named as recorded without its arguments
  // ("ITaskSettings::put_Compatibility"), or as recorded whole
  // ("ITrigger::QueryInterface(IDailyTrigger)"). Empty: nothing fails.
  std::wstring failingCall;
  // Whether GetTask hands back a registered task, and what it answers when not.
  bool taskExists = false;
  HRESULT missingTaskResult = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  // The trigger count of the existing task's definition.
  LONG existingTriggerCount = 1;
  // What DeleteTask answers.
  HRESULT deleteResult = S_OK;

  const std::vector<std::wstring>& calls() const { return calls_; }
  // Objects made and not yet released to a reference count of zero.
  int liveObjects() const { return liveObjects_; }

  // Used by the doubles.
  HRESULT Call(const std::wstring& call);
  void ObjectMade() { ++liveObjects_; }
  void ObjectGone() { --liveObjects_; }

 private:
  bool Fails(const std::wstring& call) const;

  std::vector<std::wstring> calls_;
  int liveObjects_ = 0;
};

// How the doubles write an argument.
std::wstring ArgumentText(BSTR text);
std::wstring ArgumentText(const VARIANT& value);
