#include "task/update_task_v2.h"

#include <wrl/client.h>

#include <string>

#include "log/install_log.h"
#include "task/com_owners.h"
#include "task/task_operation.h"
#include "task/task_schedule.h"
#include "task/task_values.h"

using Microsoft::WRL::ComPtr;

namespace {

// The events of the steps that registration and deletion share.
struct ConnectEvents {
  int32_t initialize, security, create, connect, rootFolder;
};
constexpr ConnectEvents kRegisterEvents{1258, 1259, 1260, 1261, 1262};
constexpr ConnectEvents kDeleteEvents{1295, 1296, 1297, 1298, 1299};

HRESULT InitializeProcessSecurity() {
  return CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY,
                              RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
}

HRESULT CreateSystemTaskService(ITaskService** service) {
  return CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                          reinterpret_cast<void**>(service));
}

// Sets up process security, connects to the local scheduler as the current
// user and opens the root folder.
int32_t OpenRootFolder(const TaskServiceAccess& access, const ConnectEvents& events,
                       ComPtr<ITaskService>& service, ComPtr<ITaskFolder>& root) {
  if (FAILED(access.initializeSecurity())) return events.security;
  if (FAILED(access.createService(&service))) return events.create;
  UniqueVariant none;
  if (FAILED(service->Connect(none.get(), none.get(), none.get(), none.get()))) {
    return events.connect;
  }
  if (FAILED(service->GetFolder(UniqueBstr(L"\\").get(), &root))) return events.rootFolder;
  return kStepsDone;
}

// Registers the definition under the task's name for the SYSTEM account; the
// registered task handed back is not needed.
HRESULT RegisterDefinition(ITaskFolder* root, ITaskDefinition* definition) {
  ComPtr<IRegisteredTask> registered;
  return root->RegisterTaskDefinition(
      UniqueBstr(UpdateTaskName).get(), definition, TASK_CREATE_OR_UPDATE,
      UniqueVariant(L"SYSTEM").get(), UniqueVariant().get(), TASK_LOGON_INTERACTIVE_TOKEN,
      UniqueVariant(L"").get(), &registered);
}

// Update path: only the first trigger's interval changes.
int32_t ChangeFirstTriggerInterval(ITaskDefinition* definition, int32_t frequency) {
  ComPtr<ITriggerCollection> triggers;
  if (FAILED(definition->get_Triggers(&triggers))) return 1264;
  LONG count = 0;
  if (FAILED(triggers->get_Count(&count))) return 1265;
  if (count < 1) return 1266;
  ComPtr<ITrigger> first;
  // The collection counts from 1.
  if (FAILED(triggers->get_Item(1, &first))) return 1267;
  ComPtr<IRepetitionPattern> repetition;
  if (FAILED(first->get_Repetition(&repetition))) return 1268;
  if (FAILED(repetition->put_Interval(UniqueBstr(RepetitionIntervalText(frequency).c_str()).get()))) {
    return 1269;
  }
  return kStepsDone;
}

TaskOutcome UpdateExistingTask(ITaskFolder* root, IRegisteredTask* task, int32_t frequency) {
  ComPtr<ITaskDefinition> definition;
  if (FAILED(task->get_Definition(&definition))) return TaskOutcome::FailedWith(1263);
  int32_t failed = ChangeFirstTriggerInterval(definition.Get(), frequency);
  if (failed != kStepsDone) return TaskOutcome::FailedWith(failed);
  if (FAILED(RegisterDefinition(root, definition.Get()))) return TaskOutcome::FailedWith(1270);
  LogEvent(LogLevel::Info, 1626);
  return TaskOutcome::Finished(true);
}

// Creation path, settings: everything not set keeps the scheduler's default.
int32_t ApplySettings(ITaskDefinition* definition) {
  ComPtr<ITaskSettings> settings;
  if (FAILED(definition->get_Settings(&settings))) return 1272;
  if (FAILED(settings->put_Compatibility(TASK_COMPATIBILITY_V1))) return 1273;
  if (FAILED(settings->put_DisallowStartIfOnBatteries(VARIANT_FALSE))) return 1274;
  if (FAILED(settings->put_RunOnlyIfNetworkAvailable(VARIANT_TRUE))) return 1275;
  return kStepsDone;
}

int32_t DescribeTask(ITaskDefinition* definition) {
  ComPtr<IRegistrationInfo> info;
  if (FAILED(definition->get_RegistrationInfo(&info))) return 1276;
  if (FAILED(info->put_Author(UniqueBstr(TaskAuthor).get()))) return 1277;
  if (FAILED(info->put_Description(UniqueBstr(LoadTaskDescription().c_str()).get()))) return 1278;
  return kStepsDone;
}

// Every day from a random moment of 1 January 2000 before 04:00 UTC, repeated
// at the request's interval for one day: around the clock.
int32_t RepeatWithinEachDay(IDailyTrigger* daily, int32_t frequency) {
  ComPtr<IRepetitionPattern> repetition;
  if (FAILED(daily->get_Repetition(&repetition))) return 1285;
  if (FAILED(repetition->put_Duration(UniqueBstr(L"P1D").get()))) return 1286;
  if (FAILED(repetition->put_Interval(UniqueBstr(RepetitionIntervalText(frequency).c_str()).get()))) {
    return 1287;
  }
  return kStepsDone;
}

int32_t AddDailyTrigger(ITaskDefinition* definition, int32_t frequency) {
  ComPtr<ITriggerCollection> triggers;
  if (FAILED(definition->get_Triggers(&triggers))) return 1279;
  ComPtr<ITrigger> trigger;
  if (FAILED(triggers->Create(TASK_TRIGGER_DAILY, &trigger))) return 1280;
  ComPtr<IDailyTrigger> daily;
  if (FAILED(trigger.As(&daily))) return 1281;
  if (FAILED(daily->put_Id(UniqueBstr(L"UpdateTrigger").get()))) return 1282;
  std::wstring start = RandomStartBoundary(DrawCryptoRandom);
  if (FAILED(daily->put_StartBoundary(UniqueBstr(start.c_str()).get()))) return 1283;
  if (FAILED(daily->put_DaysInterval(1))) return 1284;
  return RepeatWithinEachDay(daily.Get(), frequency);
}

// One action that runs the program, without arguments or working directory.
int32_t AddProgramAction(ITaskDefinition* definition, const std::wstring& programPath) {
  ComPtr<IActionCollection> actions;
  if (FAILED(definition->get_Actions(&actions))) return 1288;
  ComPtr<IAction> action;
  if (FAILED(actions->Create(TASK_ACTION_EXEC, &action))) return 1289;
  ComPtr<IExecAction> exec;
  if (FAILED(action.As(&exec))) return 1290;
  if (FAILED(exec->put_Path(UniqueBstr(programPath.c_str()).get()))) return 1291;
  return kStepsDone;
}

int32_t DefineNewTask(ITaskDefinition* definition, const UpdateTaskRequest& request) {
  int32_t failed = ApplySettings(definition);
  if (failed == kStepsDone) failed = DescribeTask(definition);
  if (failed == kStepsDone) failed = AddDailyTrigger(definition, request.frequency);
  if (failed == kStepsDone) failed = AddProgramAction(definition, request.programPath);
  return failed;
}

TaskOutcome CreateNewTask(ITaskService* service, ITaskFolder* root,
                          const UpdateTaskRequest& request) {
  ComPtr<ITaskDefinition> definition;
  if (FAILED(service->NewTask(0, &definition))) return TaskOutcome::FailedWith(1271);
  int32_t failed = DefineNewTask(definition.Get(), request);
  if (failed != kStepsDone) return TaskOutcome::FailedWith(failed);
  if (FAILED(RegisterDefinition(root, definition.Get()))) return TaskOutcome::FailedWith(1292);
  LogEvent(LogLevel::Info, 1627);
  return TaskOutcome::Finished(true);
}

TaskOutcome RegisterInRootFolder(const UpdateTaskRequest& request, const TaskServiceAccess& access) {
  ComPtr<ITaskService> service;
  ComPtr<ITaskFolder> root;
  int32_t failed = OpenRootFolder(access, kRegisterEvents, service, root);
  if (failed != kStepsDone) return TaskOutcome::FailedWith(failed);
  // Whatever GetTask answers, only a task it hands back is updated; any
  // other answer (not found, access denied, ...) leads to creation.
  ComPtr<IRegisteredTask> existing;
  root->GetTask(UniqueBstr(UpdateTaskName).get(), &existing);
  if (existing) return UpdateExistingTask(root.Get(), existing.Get(), request.frequency);
  return CreateNewTask(service.Get(), root.Get(), request);
}

TaskOutcome DeleteFromRootFolder(const TaskServiceAccess& access) {
  ComPtr<ITaskService> service;
  ComPtr<ITaskFolder> root;
  int32_t failed = OpenRootFolder(access, kDeleteEvents, service, root);
  if (failed != kStepsDone) return TaskOutcome::FailedWith(failed);
  // Not logged: a missing task simply gives false.
  return TaskOutcome::Finished(root->DeleteTask(UniqueBstr(UpdateTaskName).get(), 0) == S_OK);
}

}  // namespace

const TaskServiceAccess kSystemTaskService{InitializeProcessSecurity, CreateSystemTaskService};

// A failure's error number is read once the interfaces are released and
// before COM is left.
bool RegisterUpdateTaskV2(const UpdateTaskRequest& request, const TaskServiceAccess& access) {
  return RunTaskOperation(CoInitializeEx(nullptr, COINIT_MULTITHREADED), kRegisterEvents.initialize,
                          ErrorNumberMoment::BeforeUninitialize,
                          [&] { return RegisterInRootFolder(request, access); });
}

bool DeleteUpdateTaskV2(const TaskServiceAccess& access) {
  return RunTaskOperation(CoInitializeEx(nullptr, COINIT_MULTITHREADED), kDeleteEvents.initialize,
                          ErrorNumberMoment::BeforeUninitialize,
                          [&] { return DeleteFromRootFolder(access); });
}

bool RegisterUpdateTaskV2(const UpdateTaskRequest& request) {
  return RegisterUpdateTaskV2(request, kSystemTaskService);
}

bool DeleteUpdateTaskV2() { return DeleteUpdateTaskV2(kSystemTaskService); }
