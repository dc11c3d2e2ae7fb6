#include "task/update_task_v2.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <ostream>
#include <regex>
#include <string>
#include <vector>

#include "resource_texts.h"
#include "support/com_balance.h"
#include "support/log_capture.h"
#include "support/task_program.h"
#include "task_doubles/fake_task_scheduler.h"

// Task Scheduler 2.0 against in-process test doubles: Wine's scheduler
// stores no triggers, so the whole call sequence is checked here.

namespace {

using Calls = std::vector<std::wstring>;

// A step made to fail, on the update path (task exists) or the creation path.
struct FailingStep {
  bool taskExists;
  const wchar_t* call;
  int32_t event;
};

const wchar_t kStartBoundaryCall[] = L"ITrigger::put_StartBoundary(";
const wchar_t kRandomStart[] = L"ITrigger::put_StartBoundary(random)";

UpdateTaskRequest Request(int32_t frequency) { return UpdateTaskRequest{frequency, kProgram, 2}; }

std::wstring Registration(const wchar_t* definition) {
  return std::wstring(L"ITaskFolder::RegisterTaskDefinition(Quorvel Plumix Player Updater, ") + definition +
         L", 6, BSTR:SYSTEM, EMPTY, 3, BSTR:, out)";
}

Calls ConnectCalls() {
  return {
      L"CoInitializeSecurity()",
      L"CoCreateInstance(TaskScheduler)",
      L"ITaskService::Connect(EMPTY, EMPTY, EMPTY, EMPTY)",
      L"ITaskService::GetFolder(\\)",
  };
}

Calls CreationCalls(const std::wstring& interval) {
  Calls calls = ConnectCalls();
  Calls creation = {
      L"ITaskFolder::GetTask(Quorvel Plumix Player Updater)",
      L"ITaskService::NewTask(0)",
      L"ITaskDefinition::get_Settings()",
      L"ITaskSettings::put_Compatibility(1)",
      L"ITaskSettings::put_DisallowStartIfOnBatteries(0)",
      L"ITaskSettings::put_RunOnlyIfNetworkAvailable(-1)",
      L"ITaskDefinition::get_RegistrationInfo()",
      L"IRegistrationInfo::put_Author(Quorvel Systems Incorporated)",
      std::wstring(L"IRegistrationInfo::put_Description(") + EnglishTaskDescription() + L")",
      L"ITaskDefinition::get_Triggers()",
      L"ITriggerCollection::Create(2)",
      L"ITrigger::QueryInterface(IDailyTrigger)",
      L"ITrigger::put_Id(UpdateTrigger)",
      kRandomStart,
      L"IDailyTrigger::put_DaysInterval(1)",
      L"ITrigger::get_Repetition()",
      L"IRepetitionPattern::put_Duration(P1D)",
      L"IRepetitionPattern::put_Interval(" + interval + L")",
      L"ITaskDefinition::get_Actions()",
      L"IActionCollection::Create(0)",
      L"IAction::QueryInterface(IExecAction)",
      std::wstring(L"IExecAction::put_Path(") + kProgram + L")",
      Registration(L"new definition"),
  };
  calls.insert(calls.end(), creation.begin(), creation.end());
  return calls;
}

Calls UpdateCalls(const std::wstring& interval) {
  Calls calls = ConnectCalls();
  Calls update = {
      L"ITaskFolder::GetTask(Quorvel Plumix Player Updater)",
      L"IRegisteredTask::get_Definition()",
      L"ITaskDefinition::get_Triggers()",
      L"ITriggerCollection::get_Count()",
      L"ITriggerCollection::get_Item(1)",
      L"ITrigger::get_Repetition()",
      L"IRepetitionPattern::put_Interval(" + interval + L")",
      Registration(L"existing definition"),
  };
  calls.insert(calls.end(), update.begin(), update.end());
  return calls;
}

Calls DeleteCalls() {
  Calls calls = ConnectCalls();
  calls.push_back(L"ITaskFolder::DeleteTask(Quorvel Plumix Player Updater, 0)");
  return calls;
}

// The recorded calls with the random start boundary checked and masked.
Calls WithStartBoundaryChecked(Calls calls) {
  const std::wregex boundary(L"ITrigger::put_StartBoundary\\(2000-01-01T0[0-3]:[0-5][0-9]:00Z\\)");
  for (std::wstring& call : calls) {
    if (call.rfind(kStartBoundaryCall, 0) != 0) continue;
    EXPECT_TRUE(std::regex_match(call, boundary)) << call;
    call = kRandomStart;
  }
  return calls;
}

// The expected calls up to and including the first one named `last`.
Calls CallsThrough(const Calls& calls, const std::wstring& last) {
  for (size_t i = 0; i < calls.size(); ++i) {
    if (calls[i] == last || calls[i].substr(0, calls[i].find(L'(')) == last) {
      return Calls(calls.begin(), calls.begin() + static_cast<std::ptrdiff_t>(i) + 1);
    }
  }
  ADD_FAILURE() << "no call named " << std::string(last.begin(), last.end());
  return calls;
}

void PrintTo(const FailingStep& step, std::ostream* out) {
  std::wstring call = step.call;
  *out << std::string(call.begin(), call.end());
}

std::string StepName(const testing::TestParamInfo<FailingStep>& info) {
  return "Event" + std::to_string(info.param.event);
}

std::wstring FailureLine(int32_t event) {
  return std::to_wstring(event) + L" " + std::to_wstring(FakeTaskScheduler::kFailureErrorNumber);
}

}  // namespace

TEST(UpdateTaskV2, CreatesTheTaskWithEveryValueInOrder) {
  LogCapture log;
  FakeTaskScheduler scheduler;
  ComBalanceCheck com(COINIT_MULTITHREADED);
  EXPECT_TRUE(RegisterUpdateTaskV2(Request(4), scheduler.Access()));
  EXPECT_TRUE(com.LeftAsFound());
  EXPECT_EQ(CreationCalls(L"PT4H"), WithStartBoundaryChecked(scheduler.calls()));
  EXPECT_EQ(0, scheduler.liveObjects());
  EXPECT_EQ(Calls{L"1627"}, log.Messages());
}

TEST(UpdateTaskV2, FrequencyChoosesTheRepetitionIntervalOfANewTask) {
  const struct {
    int32_t frequency;
    const wchar_t* interval;
  } cases[] = {{0, L"PT1H"}, {1, L"PT1H"}, {2, L"PT2H"}, {3, L"PT4H"}, {24, L"PT4H"}, {-1, L"PT4H"}};
  for (const auto& c : cases) {
    LogCapture log;
    FakeTaskScheduler scheduler;
    EXPECT_TRUE(RegisterUpdateTaskV2(Request(c.frequency), scheduler.Access()));
    EXPECT_EQ(CreationCalls(c.interval), WithStartBoundaryChecked(scheduler.calls())) << c.frequency;
  }
}

TEST(UpdateTaskV2, ExistingTaskGetsOnlyTheFirstTriggersNewInterval) {
  LogCapture log;
  FakeTaskScheduler scheduler;
  scheduler.taskExists = true;
  scheduler.existingTriggerCount = 3;
  ComBalanceCheck com(COINIT_MULTITHREADED);
  EXPECT_TRUE(RegisterUpdateTaskV2(Request(2), scheduler.Access()));
  EXPECT_TRUE(com.LeftAsFound());
  EXPECT_EQ(UpdateCalls(L"PT2H"), scheduler.calls());
  EXPECT_EQ(0, scheduler.liveObjects());
  EXPECT_EQ(Calls{L"1626"}, log.Messages());
}

TEST(UpdateTaskV2, SuccessLinesAreInfoAndDroppedWithoutVerboseLogging) {
  LogCapture log(false);
  FakeTaskScheduler scheduler;
  EXPECT_TRUE(RegisterUpdateTaskV2(Request(1), scheduler.Access()));
  EXPECT_TRUE(log.Messages().empty());
}

TEST(UpdateTaskV2, AnyAnswerOfGetTaskWithoutATaskLeadsToCreation) {
  const HRESULT answers[] = {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), E_ACCESSDENIED, E_OUTOFMEMORY,
                             S_OK};
  for (HRESULT answer : answers) {
    LogCapture log;
    FakeTaskScheduler scheduler;
    scheduler.missingTaskResult = answer;
    EXPECT_TRUE(RegisterUpdateTaskV2(Request(1), scheduler.Access()));
    EXPECT_EQ(CreationCalls(L"PT1H"), WithStartBoundaryChecked(scheduler.calls())) << std::hex << answer;
    EXPECT_EQ(Calls{L"1627"}, log.Messages());
  }
  LogCapture log;
  FakeTaskScheduler scheduler;
  scheduler.taskExists = true;
  scheduler.failingCall = L"ITaskFolder::GetTask";
  EXPECT_TRUE(RegisterUpdateTaskV2(Request(1), scheduler.Access()));
  EXPECT_EQ(CreationCalls(L"PT1H"), WithStartBoundaryChecked(scheduler.calls()));
}

TEST(UpdateTaskV2, ExistingTaskWithoutTriggersIsLeftAlone) {
  LogCapture log;
  FakeTaskScheduler scheduler;
  scheduler.taskExists = true;
  scheduler.existingTriggerCount = 0;
  ComBalanceCheck com(COINIT_MULTITHREADED);
  EXPECT_FALSE(RegisterUpdateTaskV2(Request(4), scheduler.Access()));
  EXPECT_TRUE(com.LeftAsFound());
  EXPECT_EQ(CallsThrough(UpdateCalls(L"PT4H"), L"ITriggerCollection::get_Count"), scheduler.calls());
  EXPECT_EQ(0, scheduler.liveObjects());
  std::vector<std::wstring> messages = log.Messages();
  ASSERT_EQ(1u, messages.size());
  EXPECT_TRUE(MatchesEvent(messages[0], 1266)) << messages[0];
}

// One failing step: its event with the thread's error number (not the
// HRESULT), every object released, COM left once, nothing registered after.
class UpdateTaskV2FailingStep : public testing::TestWithParam<FailingStep> {};

TEST_P(UpdateTaskV2FailingStep, WritesItsEventReleasesEverythingAndLeavesCom) {
  const FailingStep& step = GetParam();
  LogCapture log;
  FakeTaskScheduler scheduler;
  scheduler.taskExists = step.taskExists;
  scheduler.failingCall = step.call;
  ComBalanceCheck com(COINIT_MULTITHREADED);
  EXPECT_FALSE(RegisterUpdateTaskV2(Request(4), scheduler.Access()));
  EXPECT_TRUE(com.LeftAsFound());
  Calls expected = step.taskExists ? UpdateCalls(L"PT4H") : CreationCalls(L"PT4H");
  EXPECT_EQ(CallsThrough(expected, step.call), WithStartBoundaryChecked(scheduler.calls()));
  EXPECT_EQ(0, scheduler.liveObjects());
  EXPECT_EQ(Calls{FailureLine(step.event)}, log.Messages());
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, UpdateTaskV2FailingStep,
    testing::Values(FailingStep{false, L"CoInitializeSecurity", 1259},
                    FailingStep{false, L"CoCreateInstance", 1260},
                    FailingStep{false, L"ITaskService::Connect", 1261},
                    FailingStep{false, L"ITaskService::GetFolder", 1262},
                    FailingStep{true, L"IRegisteredTask::get_Definition", 1263},
                    FailingStep{true, L"ITaskDefinition::get_Triggers", 1264},
                    FailingStep{true, L"ITriggerCollection::get_Count", 1265},
                    FailingStep{true, L"ITriggerCollection::get_Item", 1267},
                    FailingStep{true, L"ITrigger::get_Repetition", 1268},
                    FailingStep{true, L"IRepetitionPattern::put_Interval", 1269},
                    FailingStep{true, L"ITaskFolder::RegisterTaskDefinition", 1270},
                    FailingStep{false, L"ITaskService::NewTask", 1271},
                    FailingStep{false, L"ITaskDefinition::get_Settings", 1272},
                    FailingStep{false, L"ITaskSettings::put_Compatibility", 1273},
                    FailingStep{false, L"ITaskSettings::put_DisallowStartIfOnBatteries", 1274},
                    FailingStep{false, L"ITaskSettings::put_RunOnlyIfNetworkAvailable", 1275},
                    FailingStep{false, L"ITaskDefinition::get_RegistrationInfo", 1276},
                    FailingStep{false, L"IRegistrationInfo::put_Author", 1277},
                    FailingStep{false, L"IRegistrationInfo::put_Description", 1278},
                    FailingStep{false, L"ITaskDefinition::get_Triggers", 1279},
                    FailingStep{false, L"ITriggerCollection::Create", 1280},
                    FailingStep{false, L"ITrigger::QueryInterface(IDailyTrigger)", 1281},
                    FailingStep{false, L"ITrigger::put_Id", 1282},
                    FailingStep{false, L"ITrigger::put_StartBoundary", 1283},
                    FailingStep{false, L"IDailyTrigger::put_DaysInterval", 1284},
                    FailingStep{false, L"ITrigger::get_Repetition", 1285},
                    FailingStep{false, L"IRepetitionPattern::put_Duration", 1286},
                    FailingStep{false, L"IRepetitionPattern::put_Interval", 1287},
                    FailingStep{false, L"ITaskDefinition::get_Actions", 1288},
                    FailingStep{false, L"IActionCollection::Create", 1289},
                    FailingStep{false, L"IAction::QueryInterface(IExecAction)", 1290},
                    FailingStep{false, L"IExecAction::put_Path", 1291},
                    FailingStep{false, L"ITaskFolder::RegisterTaskDefinition", 1292}),
    StepName);

TEST(UpdateTaskV2, RegistrationInAnotherApartmentFailsWithoutLeavingCom) {
  LogCapture log;
  FakeTaskScheduler scheduler;
  // The thread is in a single-threaded apartment: entering the
  // multithreaded one fails.
  ComBalanceCheck com(COINIT_APARTMENTTHREADED);
  EXPECT_FALSE(RegisterUpdateTaskV2(Request(1), scheduler.Access()));
  EXPECT_TRUE(com.LeftAsFound());
  EXPECT_TRUE(scheduler.calls().empty());
  std::vector<std::wstring> messages = log.Messages();
  ASSERT_EQ(1u, messages.size());
  EXPECT_TRUE(MatchesEvent(messages[0], 1258)) << messages[0];
}

TEST(DeleteUpdateTaskV2, TrueOnlyWhenTheSchedulerAnswersPlainSuccess) {
  const struct {
    HRESULT answer;
    bool deleted;
  } cases[] = {{S_OK, true}, {S_FALSE, false}, {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), false},
               {E_ACCESSDENIED, false}};
  for (const auto& c : cases) {
    LogCapture log;
    FakeTaskScheduler scheduler;
    scheduler.deleteResult = c.answer;
    ComBalanceCheck com(COINIT_MULTITHREADED);
    EXPECT_EQ(c.deleted, DeleteUpdateTaskV2(scheduler.Access())) << std::hex << c.answer;
    EXPECT_TRUE(com.LeftAsFound());
    EXPECT_EQ(DeleteCalls(), scheduler.calls());
    EXPECT_EQ(0, scheduler.liveObjects());
    // The deletion itself is never logged.
    EXPECT_TRUE(log.Messages().empty());
  }
}

class DeleteUpdateTaskV2FailingStep : public testing::TestWithParam<FailingStep> {};

TEST_P(DeleteUpdateTaskV2FailingStep, WritesItsEventReleasesEverythingAndLeavesCom) {
  const FailingStep& step = GetParam();
  LogCapture log;
  FakeTaskScheduler scheduler;
  scheduler.failingCall = step.call;
  ComBalanceCheck com(COINIT_MULTITHREADED);
  EXPECT_FALSE(DeleteUpdateTaskV2(scheduler.Access()));
  EXPECT_TRUE(com.LeftAsFound());
  EXPECT_EQ(CallsThrough(DeleteCalls(), step.call), scheduler.calls());
  EXPECT_EQ(0, scheduler.liveObjects());
  EXPECT_EQ(Calls{FailureLine(step.event)}, log.Messages());
}

INSTANTIATE_TEST_SUITE_P(EveryStep, DeleteUpdateTaskV2FailingStep,
                         testing::Values(FailingStep{false, L"CoInitializeSecurity", 1296},
                                         FailingStep{false, L"CoCreateInstance", 1297},
                                         FailingStep{false, L"ITaskService::Connect", 1298},
                                         FailingStep{false, L"ITaskService::GetFolder", 1299}),
                         StepName);

TEST(DeleteUpdateTaskV2, DeletionInAnotherApartmentFailsWithoutLeavingCom) {
  LogCapture log;
  FakeTaskScheduler scheduler;
  ComBalanceCheck com(COINIT_APARTMENTTHREADED);
  EXPECT_FALSE(DeleteUpdateTaskV2(scheduler.Access()));
  EXPECT_TRUE(com.LeftAsFound());
  EXPECT_TRUE(scheduler.calls().empty());
  std::vector<std::wstring> messages = log.Messages();
  ASSERT_EQ(1u, messages.size());
  EXPECT_TRUE(MatchesEvent(messages[0], 1295)) << messages[0];
}
