#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "resource_texts.h"
#include "scheduler_v1_client.h"
#include "service/process_entry.h"
#include "settings/auto_update_policy.h"
#include "support/com_balance.h"
#include "support/log_capture.h"
#include "support/registry_keys.h"
#include "support/task_program.h"
#include "support/test_files.h"
#include "task/update_task.h"
#include "update/update_cycle.h"

// The real Task Scheduler 1.0 of Wine, which this program reaches as a
// Windows XP program (see xp_mode_main.cpp). The work items are .job files
// in the Windows folder's Tasks folder of the test prefix.

namespace {

const wchar_t kOldProgram[] = L"C:\\Old\\Updater.exe";

// A daily trigger unlike the one the code makes, to see what an update keeps.
TASK_TRIGGER OldTrigger() {
  TASK_TRIGGER trigger = {};
  trigger.cbTriggerSize = sizeof(trigger);
  trigger.wBeginYear = 2007;
  trigger.wBeginMonth = 3;
  trigger.wBeginDay = 9;
  trigger.wStartHour = 17;
  trigger.wStartMinute = 45;
  trigger.MinutesDuration = 1440;
  trigger.MinutesInterval = 60;
  trigger.TriggerType = TASK_TIME_TRIGGER_DAILY;
  trigger.Type.Daily.DaysInterval = 2;
  return trigger;
}

WorkItem OldWorkItem(std::vector<TASK_TRIGGER> triggers) {
  WorkItem item;
  item.triggers = triggers;
  item.application = kOldProgram;
  item.creator = L"Someone Else";
  return item;
}

class SchedulerV1 : public testing::Test {
 protected:
  void SetUp() override { RemoveTask(); }
  void TearDown() override { RemoveTask(); }
  static void RemoveTask() {
    DeleteWorkItem(UpdateTaskName);
    RemoveDirectoryW(WorkItemFile(UpdateTaskName).c_str());
  }
};

}  // namespace

TEST_F(SchedulerV1, WindowsXpChoosesTheOlderScheduler) {
  EXPECT_EQ(1, SelectSchedulerVersion());
  EXPECT_EQ(1, MakeUpdateTaskRequest(1, kProgram)->schedulerVersion);
}

TEST_F(SchedulerV1, DefaultTaskRunsEveryHourAroundTheClockFromNewYear2000) {
  LogCapture log;
  ComBalanceCheck com(COINIT_APARTMENTTHREADED);
  EXPECT_TRUE(CreateDefaultTask(kProgram));
  EXPECT_TRUE(com.LeftAsFound());
  EXPECT_EQ(std::vector<std::wstring>{L"1625"}, log.Messages());

  WorkItem item;
  ASSERT_EQ(S_OK, ReadWorkItem(UpdateTaskName, item));
  ASSERT_EQ(1u, item.triggers.size());
  const TASK_TRIGGER& stored = item.triggers[0];
  EXPECT_LE(stored.wStartHour, 3);
  TASK_TRIGGER expected = {};
  expected.cbTriggerSize = 48;
  expected.wBeginYear = 2000;
  expected.wBeginMonth = 1;
  expected.wBeginDay = 1;
  expected.wStartHour = stored.wStartHour;
  expected.wStartMinute = stored.wStartMinute;
  expected.MinutesDuration = 1440;
  expected.MinutesInterval = 60;
  expected.TriggerType = TASK_TIME_TRIGGER_DAILY;
  expected.Type.Daily.DaysInterval = 1;
  EXPECT_EQ(TriggerText(expected), TriggerText(stored));
  EXPECT_EQ(kProgram, item.application);
  EXPECT_EQ(L"Quorvel Systems Incorporated", item.creator);
  EXPECT_EQ(EnglishTaskDescription(), item.comment);
  EXPECT_EQ(static_cast<DWORD>(TASK_FLAG_RUN_IF_CONNECTED_TO_INTERNET), item.flags);
}

// A fixed start would start every machine's check at the same moment: each
// creation draws its time before 04:00 anew. Eight creations that all drew
// the same of the 240 times would be a chance of 1 in 240^7.
TEST_F(SchedulerV1, EachCreationDrawsItsStartTimeAnew) {
  std::set<std::pair<WORD, WORD>> startTimes;
  for (int creation = 0; creation < 8 && startTimes.size() < 2; ++creation) {
    RemoveTask();
    LogCapture log;
    ASSERT_TRUE(CreateDefaultTask(kProgram));
    WorkItem item;
    ASSERT_EQ(S_OK, ReadWorkItem(UpdateTaskName, item));
    ASSERT_EQ(1u, item.triggers.size());
    startTimes.insert({item.triggers[0].wStartHour, item.triggers[0].wStartMinute});
  }
  EXPECT_EQ(2u, startTimes.size());
}

TEST_F(SchedulerV1, ReRegistrationChangesOnlyTheFirstTriggersInterval) {
  ASSERT_EQ(S_OK, SaveWorkItem(UpdateTaskName, OldWorkItem({OldTrigger(), OldTrigger()})));
  const struct {
    int32_t frequency;
    DWORD minutes;
  } cases[] = {{2, 120}, {3, 240}, {4, 240}, {24, 240}, {-1, 240}, {0, 60}, {2, 120}, {1, 60}};
  for (const auto& c : cases) {
    LogCapture log;
    ComBalanceCheck com(COINIT_APARTMENTTHREADED);
    EXPECT_TRUE(RegisterUpdateTask(*MakeUpdateTaskRequest(c.frequency, kProgram))) << c.frequency;
    EXPECT_TRUE(com.LeftAsFound());
    EXPECT_EQ(std::vector<std::wstring>{L"1624"}, log.Messages());

    WorkItem item;
    ASSERT_EQ(S_OK, ReadWorkItem(UpdateTaskName, item));
    ASSERT_EQ(2u, item.triggers.size());
    TASK_TRIGGER expected = OldTrigger();
    expected.MinutesInterval = c.minutes;
    EXPECT_EQ(TriggerText(expected), TriggerText(item.triggers[0])) << c.frequency;
    EXPECT_EQ(TriggerText(OldTrigger()), TriggerText(item.triggers[1]));
    EXPECT_EQ(kOldProgram, item.application);
    EXPECT_EQ(L"Someone Else", item.creator);
  }
}

TEST_F(SchedulerV1, ExistingTaskWithoutTriggerIsLeftAlone) {
  ASSERT_EQ(S_OK, SaveWorkItem(UpdateTaskName, OldWorkItem({OldTrigger()})));
  ASSERT_TRUE(RemoveTriggersFromFile(UpdateTaskName));
  WorkItem emptied;
  ASSERT_EQ(S_OK, ReadWorkItem(UpdateTaskName, emptied));
  ASSERT_TRUE(emptied.triggers.empty());
  std::string before = ReadFileBytes(WorkItemFile(UpdateTaskName));
  LogCapture log;
  ComBalanceCheck com(COINIT_APARTMENTTHREADED);
  EXPECT_FALSE(RegisterUpdateTaskV1(UpdateTaskRequest{4, kProgram, 1}));
  EXPECT_TRUE(com.LeftAsFound());
  std::vector<std::wstring> messages = log.Messages();
  ASSERT_EQ(1u, messages.size());
  EXPECT_TRUE(MatchesEvent(messages[0], 1246)) << messages[0];
  EXPECT_EQ(before, ReadFileBytes(WorkItemFile(UpdateTaskName)));
}

TEST_F(SchedulerV1, UnreadableTaskIsNeitherUpdatedNorReplaced) {
  // A folder in the work item's place: the scheduler cannot open it (access
  // denied), which is not "no such task".
  ASSERT_TRUE(CreateDirectoryW(WorkItemFile(UpdateTaskName).c_str(), nullptr));
  LogCapture log;
  EXPECT_FALSE(RegisterUpdateTaskV1(UpdateTaskRequest{1, kProgram, 1}));
  std::vector<std::wstring> messages = log.Messages();
  ASSERT_EQ(1u, messages.size());
  EXPECT_TRUE(MatchesEvent(messages[0], 1244)) << messages[0];
  DWORD attributes = GetFileAttributesW(WorkItemFile(UpdateTaskName).c_str());
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, attributes);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(SchedulerV1, DeleteRemovesTheTaskWithoutALine) {
  ASSERT_EQ(S_OK, SaveWorkItem(UpdateTaskName, OldWorkItem({OldTrigger()})));
  LogCapture log;
  ComBalanceCheck com(COINIT_APARTMENTTHREADED);
  EXPECT_TRUE(DeleteUpdateTask());
  EXPECT_TRUE(com.LeftAsFound());
  EXPECT_TRUE(log.Messages().empty());
  WorkItem item;
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), ReadWorkItem(UpdateTaskName, item));
}

TEST_F(SchedulerV1, DeletingAMissingTaskIsFalseWithoutALine) {
  LogCapture log;
  EXPECT_FALSE(DeleteUpdateTask());
  EXPECT_TRUE(log.Messages().empty());
}

TEST_F(SchedulerV1, OperationsInAMultithreadedApartmentFailWithoutLeavingCom) {
  LogCapture log;
  {
    ComBalanceCheck com(COINIT_MULTITHREADED);
    EXPECT_FALSE(RegisterUpdateTaskV1(UpdateTaskRequest{1, kProgram, 1}));
    EXPECT_TRUE(com.LeftAsFound());
  }
  {
    ComBalanceCheck com(COINIT_MULTITHREADED);
    EXPECT_FALSE(DeleteUpdateTaskV1());
    EXPECT_TRUE(com.LeftAsFound());
  }
  std::vector<std::wstring> messages = log.Messages();
  ASSERT_EQ(2u, messages.size());
  EXPECT_TRUE(MatchesEvent(messages[0], 1243)) << messages[0];
  EXPECT_TRUE(MatchesEvent(messages[1], 1294)) << messages[1];
  WorkItem item;
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), ReadWorkItem(UpdateTaskName, item));
}

// "-createDefaultTask" as a console runs it: the program's own full path
// becomes the task's program, and a path that does not fit in 260 units
// registers no task rather than one that runs nothing.
TEST_F(SchedulerV1, CreateDefaultTaskSwitchRegistersTheProgramOnlyWhenItsPathFits) {
  struct Case {
    size_t length;  // of the program path, terminator not counted
    std::vector<std::wstring> messages;
  } const cases[] = {{259, {}}, {260, {L"1302 206"}}};
  for (const Case& c : cases) {
    RemoveTask();
    ScopedRegistryKey state(L"SOFTWARE\\Wendral\\PlumixPlayer");
    LogCapture log(false);
    std::wstring program = L"C:\\" + std::wstring(c.length - 9, L'p') + L"\\x.exe";
    ASSERT_EQ(c.length, program.size());
    wchar_t createDefaultTask[] = L"-createDefaultTask";
    wchar_t* arguments[] = {&program[0], createDefaultTask, nullptr};
    EXPECT_EQ(0, RunProcessEntry(2, arguments, kSystemPlatform));
    EXPECT_EQ(c.messages, log.Messages()) << c.length;
    WorkItem item;
    if (c.messages.empty()) {
      ASSERT_EQ(S_OK, ReadWorkItem(UpdateTaskName, item)) << c.length;
      EXPECT_EQ(program, item.application);
    } else {
      EXPECT_FALSE(FileExists(WorkItemFile(UpdateTaskName))) << c.length;
    }
  }
}

// The cycle's task refresh registers its program, and no task at all when the
// program's own path was left empty (it did not fit in 260 units).
TEST_F(SchedulerV1, CycleRefreshRegistersTheProgramOnlyWhenThereIsOne) {
  struct Case {
    const wchar_t* program;
    bool registered;
    std::vector<std::wstring> messages;
  } const cases[] = {{kProgram, true, {}}, {L"", false, {L"1302 206"}}};
  for (const Case& c : cases) {
    RemoveTask();
    LogCapture log(false);
    ServiceContext context{c.program, AutoUpdatePolicy(), kSystemPlatform};
    context.modulePathError = ERROR_FILENAME_EXCED_RANGE;
    EXPECT_EQ(c.registered, RefreshUpdateTask(4, context));
    EXPECT_EQ(c.messages, log.Messages());
    WorkItem item;
    if (c.registered) {
      ASSERT_EQ(S_OK, ReadWorkItem(UpdateTaskName, item));
      EXPECT_EQ(kProgram, item.application);
    } else {
      EXPECT_FALSE(FileExists(WorkItemFile(UpdateTaskName)));
    }
  }
}
