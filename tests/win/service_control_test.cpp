#include "service/service_control.h"

#include <gtest/gtest.h>

#include <vector>

#include "settings/auto_update_policy.h"
#include "support/log_capture.h"

namespace {

std::vector<SERVICE_STATUS> reports;

BOOL WINAPI RecordReport(SERVICE_STATUS_HANDLE, LPSERVICE_STATUS status) {
  reports.push_back(*status);
  return TRUE;
}

struct Expected {
  DWORD state;
  DWORD checkpoint;
  DWORD waitHint;
  DWORD controls;
};

void ExpectReports(const std::vector<Expected>& expected) {
  ASSERT_EQ(expected.size(), reports.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(expected[i].state, reports[i].dwCurrentState) << "report " << i;
    EXPECT_EQ(expected[i].checkpoint, reports[i].dwCheckPoint) << "report " << i;
    EXPECT_EQ(expected[i].waitHint, reports[i].dwWaitHint) << "report " << i;
    EXPECT_EQ(expected[i].controls, reports[i].dwControlsAccepted) << "report " << i;
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), reports[i].dwWin32ExitCode) << "report " << i;
  }
}

class ServiceControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reports.clear();
    statusReporter = RecordReport;
  }
  LogCapture log{true};
};

}  // namespace

TEST_F(ServiceControlTest, PendingReportsTakeRisingCheckpointsOthersTakeZero) {
  ReportServiceStatus(SERVICE_START_PENDING, 3000);
  ReportServiceStatus(SERVICE_RUNNING, 0);
  ReportServiceStatus(SERVICE_STOP_PENDING, 0);
  ReportServiceStatus(SERVICE_STOPPED, 0);
  ExpectReports({{SERVICE_START_PENDING, 1, 3000, 0},
                 {SERVICE_RUNNING, 0, 0, SERVICE_ACCEPT_STOP},
                 {SERVICE_STOP_PENDING, 2, 0, SERVICE_ACCEPT_STOP},
                 {SERVICE_STOPPED, 0, 0, SERVICE_ACCEPT_STOP}});
}

TEST_F(ServiceControlTest, StopControlReportsStopPendingTwiceAndSignalsNothingElse) {
  ReportServiceStatus(SERVICE_START_PENDING, 3000);
  ReportServiceStatus(SERVICE_RUNNING, 0);
  ServiceControlHandler(SERVICE_CONTROL_STOP);
  ExpectReports({{SERVICE_START_PENDING, 1, 3000, 0},
                 {SERVICE_RUNNING, 0, 0, SERVICE_ACCEPT_STOP},
                 {SERVICE_STOP_PENDING, 2, 0, SERVICE_ACCEPT_STOP},
                 {SERVICE_STOP_PENDING, 3, 0, SERVICE_ACCEPT_STOP}});
  EXPECT_EQ((std::vector<std::wstring>{L"1622 1", L"1623"}), log.Messages());
}

TEST_F(ServiceControlTest, InterrogateIsOnlyLogged) {
  ServiceControlHandler(SERVICE_CONTROL_INTERROGATE);
  EXPECT_TRUE(reports.empty());
  EXPECT_EQ(std::vector<std::wstring>{L"1622 4"}, log.Messages());
}

TEST_F(ServiceControlTest, StopAfterTheFinalReportKeepsTheServiceStopped) {
  ReportServiceStatus(SERVICE_STOPPED, 0);
  ServiceControlHandler(SERVICE_CONTROL_STOP);
  ASSERT_EQ(1u, reports.size());
  EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), reports[0].dwCurrentState);
}

TEST_F(ServiceControlTest, WorkerWithoutContextLogsAndStops) {
  CurrentServiceContext = nullptr;
  SetLastError(0);
  RunServiceWorker();
  ExpectReports({{SERVICE_RUNNING, 0, 0, SERVICE_ACCEPT_STOP}, {SERVICE_STOPPED, 0, 0, SERVICE_ACCEPT_STOP}});
  ASSERT_EQ(1u, log.Messages().size());
  EXPECT_EQ(0u, log.Messages()[0].find(L"1241 "));
}

TEST_F(ServiceControlTest, DispatcherFromAConsoleFailsWith1063) {
  EXPECT_FALSE(RunServiceDispatcher());
  EXPECT_EQ((std::vector<std::wstring>{L"1618", L"1619 1063"}), log.Messages());
}
