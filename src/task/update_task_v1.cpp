#include <windows.h>
#include <mstask.h>

#include <wrl/client.h>

#include "log/install_log.h"
#include "task/task_operation.h"
#include "task/task_schedule.h"
#include "task/task_values.h"
#include "task/update_task.h"

using Microsoft::WRL::ComPtr;

// Task Scheduler 1.0 (mstask), for Windows before NT 6.0. Unless an event says
// otherwise, a failure's error number is read after the interfaces are
// released and COM is left; a trigger that cannot be written is released
// before its line, the work item and COM after it.

namespace {

constexpr WORD kTriggerSize = 48;
static_assert(sizeof(TASK_TRIGGER) == kTriggerSize, "TASK_TRIGGER has the size the scheduler expects");

// The events of the save that ends either path.
struct SaveEvents {
  int32_t noPersistFile, save, saved;
};
constexpr SaveEvents kUpdateSaveEvents{1250, 1251, 1624};
constexpr SaveEvents kCreateSaveEvents{1256, 1257, 1625};

TASK_TRIGGER EmptyTrigger() {
  TASK_TRIGGER trigger = {};
  trigger.cbTriggerSize = kTriggerSize;
  return trigger;
}

// Daily from 1 January 2000 at a random time before 04:00, repeated at the
// request's interval for one day (1440 minutes): around the clock.
TASK_TRIGGER NewDailyTrigger(int32_t frequency) {
  TASK_TRIGGER trigger = EmptyTrigger();
  trigger.wBeginYear = 2000;
  trigger.wBeginMonth = 1;
  trigger.wBeginDay = 1;
  StartTime start = RandomStartTime(DrawCryptoRandom);
  trigger.wStartHour = start.hour;
  trigger.wStartMinute = start.minute;
  trigger.MinutesDuration = 1440;
  trigger.MinutesInterval = static_cast<DWORD>(RepetitionIntervalMinutes(frequency));
  trigger.TriggerType = TASK_TIME_TRIGGER_DAILY;
  trigger.Type.Daily.DaysInterval = 1;
  return trigger;
}

// Stores the work item under its own name.
TaskOutcome SaveWorkItem(ITask* task, const SaveEvents& events) {
  ComPtr<IPersistFile> file;
  if (FAILED(task->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.GetAddressOf())))) {
    return TaskOutcome::FailedWith(events.noPersistFile);
  }
  if (FAILED(file->Save(nullptr, TRUE))) return TaskOutcome::FailedWith(events.save);
  LogEvent(LogLevel::Info, events.saved);
  return TaskOutcome::Finished(true);
}

// Update path: only the first trigger's MinutesInterval changes.
TaskOutcome UpdateFirstTrigger(ITask* task, int32_t frequency) {
  WORD count = 0;
  if (FAILED(task->GetTriggerCount(&count))) return TaskOutcome::FailedWith(1245);
  if (count < 1) return TaskOutcome::FailedWith(1246);
  ComPtr<ITaskTrigger> trigger;
  // The work item counts its triggers from 0.
  if (FAILED(task->GetTrigger(0, &trigger))) return TaskOutcome::FailedWith(1247);
  TASK_TRIGGER fields = EmptyTrigger();
  if (FAILED(trigger->GetTrigger(&fields))) return TaskOutcome::FailedWith(1248);
  fields.MinutesInterval = static_cast<DWORD>(RepetitionIntervalMinutes(frequency));
  HRESULT written = trigger->SetTrigger(&fields);
  trigger.Reset();
  if (FAILED(written)) return TaskOutcome::FailedNow(1249);
  return SaveWorkItem(task, kUpdateSaveEvents);
}

// A setting the task can do without: a failure is a warning and creation goes on.
void WarnIfFailed(HRESULT result, int32_t event) {
  if (FAILED(result)) LogEventLastError(LogLevel::Warning, event);
}

// Creation path, on the new work item.
TaskOutcome DefineNewWorkItem(ITask* task, const UpdateTaskRequest& request) {
  // An empty account name and no password: the local system account.
  if (FAILED(task->SetAccountInformation(L"", nullptr))) return TaskOutcome::FailedWith(1253);
  WORD index = 0;
  ComPtr<ITaskTrigger> trigger;
  if (FAILED(task->CreateTrigger(&index, &trigger))) return TaskOutcome::FailedNow(1254);
  WarnIfFailed(task->SetCreator(TaskAuthor), 1421);
  WarnIfFailed(task->SetComment(LoadTaskDescription().c_str()), 1422);
  WarnIfFailed(task->SetApplicationName(request.programPath.c_str()), 1423);
  WarnIfFailed(task->SetFlags(TASK_FLAG_RUN_IF_CONNECTED_TO_INTERNET), 1424);
  TASK_TRIGGER fields = NewDailyTrigger(request.frequency);
  HRESULT written = trigger->SetTrigger(&fields);
  trigger.Reset();
  if (FAILED(written)) return TaskOutcome::FailedNow(1255);
  return SaveWorkItem(task, kCreateSaveEvents);
}

// The task's work item: the existing one (`exists`) or, when the scheduler
// reports none, a new one. The scheduler goes as soon as the item is in hand.
int32_t ObtainWorkItem(ComPtr<ITask>& task, bool& exists) {
  ComPtr<ITaskScheduler> scheduler;
  if (FAILED(CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskScheduler,
                              reinterpret_cast<void**>(scheduler.GetAddressOf())))) {
    return 1242;
  }
  HRESULT activated =
      scheduler->Activate(UpdateTaskName, IID_ITask, reinterpret_cast<IUnknown**>(task.GetAddressOf()));
  exists = SUCCEEDED(activated);
  if (exists) return kStepsDone;
  if (activated != HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) return 1244;
  if (FAILED(scheduler->NewWorkItem(UpdateTaskName, CLSID_CTask, IID_ITask,
                                    reinterpret_cast<IUnknown**>(task.ReleaseAndGetAddressOf())))) {
    return 1252;
  }
  return kStepsDone;
}

TaskOutcome RegisterWorkItem(const UpdateTaskRequest& request) {
  ComPtr<ITask> task;
  bool exists = false;
  int32_t failed = ObtainWorkItem(task, exists);
  if (failed != kStepsDone) return TaskOutcome::FailedWith(failed);
  if (exists) return UpdateFirstTrigger(task.Get(), request.frequency);
  return DefineNewWorkItem(task.Get(), request);
}

TaskOutcome DeleteWorkItem() {
  ComPtr<ITaskScheduler> scheduler;
  if (FAILED(CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskScheduler,
                              reinterpret_cast<void**>(scheduler.GetAddressOf())))) {
    return TaskOutcome::FailedWith(1293);
  }
  // Not logged: a missing task simply gives false.
  return TaskOutcome::Finished(scheduler->Delete(UpdateTaskName) == S_OK);
}

}  // namespace

bool RegisterUpdateTaskV1(const UpdateTaskRequest& request) {
  return RunTaskOperation(CoInitialize(nullptr), 1243, ErrorNumberMoment::AfterUninitialize,
                          [&] { return RegisterWorkItem(request); });
}

bool DeleteUpdateTaskV1() {
  return RunTaskOperation(CoInitialize(nullptr), 1294, ErrorNumberMoment::AfterUninitialize,
                          [] { return DeleteWorkItem(); });
}
