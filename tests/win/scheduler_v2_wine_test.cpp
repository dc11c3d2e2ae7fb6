#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scheduler_v2_client.h"
#include "support/com_balance.h"
#include "support/log_capture.h"
#include "support/task_program.h"
#include "task/update_task.h"

// The real Task Scheduler 2.0 of Wine, in the prefix's default Windows 7
// mode, as far as it goes: it implements no triggers (ITrigger::put_Id,
// ITriggerCollection::get_Count and others answer E_NOTIMPL), so creation
// stops at the trigger's identifier and an update at the trigger count.

namespace {


class WineSchedulerV2 : public testing::Test {
 protected:
  void SetUp() override { DeleteTaskV2(UpdateTaskName); }
  void TearDown() override { DeleteTaskV2(UpdateTaskName); }
};

}  // namespace

TEST_F(WineSchedulerV2, WindowsSevenModeChoosesTheNewerScheduler) {
  EXPECT_EQ(2, SelectSchedulerVersion());
  std::unique_ptr<UpdateTaskRequest> request = MakeUpdateTaskRequest(24, kProgram);
  EXPECT_EQ(24, request->frequency);
  EXPECT_EQ(kProgram, request->programPath);
  EXPECT_EQ(2, request->schedulerVersion);
}

TEST_F(WineSchedulerV2, CreationStopsAtTheTriggerIdentifierAndRegistersNothing) {
  LogCapture log;
  ComBalanceCheck com(COINIT_MULTITHREADED);
  EXPECT_FALSE(CreateDefaultTask(kProgram));
  EXPECT_TRUE(com.LeftAsFound());
  std::vector<std::wstring> messages = log.Messages();
  ASSERT_EQ(1u, messages.size());
  EXPECT_TRUE(MatchesEvent(messages[0], 1282)) << messages[0];
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), FindTaskV2(UpdateTaskName));
}

TEST_F(WineSchedulerV2, UpdateStopsAtTheTriggerCountAndKeepsTheTask) {
  ASSERT_EQ(S_OK, RegisterDailyTaskV2(UpdateTaskName, kProgram));
  LogCapture log;
  EXPECT_FALSE(RegisterUpdateTask(*MakeUpdateTaskRequest(2, kProgram)));
  std::vector<std::wstring> messages = log.Messages();
  ASSERT_EQ(1u, messages.size());
  EXPECT_TRUE(MatchesEvent(messages[0], 1265)) << messages[0];
  EXPECT_EQ(S_OK, FindTaskV2(UpdateTaskName));
}

TEST_F(WineSchedulerV2, DeletesTheTaskWithoutALine) {
  ASSERT_EQ(S_OK, RegisterDailyTaskV2(UpdateTaskName, kProgram));
  LogCapture log;
  ComBalanceCheck com(COINIT_MULTITHREADED);
  EXPECT_TRUE(DeleteUpdateTask());
  EXPECT_TRUE(com.LeftAsFound());
  EXPECT_TRUE(log.Messages().empty());
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), FindTaskV2(UpdateTaskName));
}

TEST_F(WineSchedulerV2, DeletingAMissingTaskIsFalseWithoutALine) {
  LogCapture log;
  EXPECT_FALSE(DeleteUpdateTask());
  EXPECT_TRUE(log.Messages().empty());
}
