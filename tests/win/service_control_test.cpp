#include "service/service_control.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/log_capture.h"
#include "support/open_handles.h"
#include "support/platform_doubles.h"

namespace {

// The reports of the test that runs; each test starts with none.
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

// A status record of the test's own, its checkpoint counter at 1.
class ServiceControlTest : public ::testing::Test {
 protected:
  void SetUp() override { reports.clear(); }
  LogCapture log{true};
  PlatformAccess platform = PlatformWith(&PlatformAccess::setServiceStatus, RecordReport);
  ServiceStatusReporter reporter{platform};
};

}  // namespace

TEST_F(ServiceControlTest, PendingReportsTakeRisingCheckpointsOthersTakeZero) {
  reporter.Attach(reinterpret_cast<SERVICE_STATUS_HANDLE>(1));
  reporter.Report(SERVICE_START_PENDING, 3000);
  reporter.Report(SERVICE_RUNNING, 0);
  reporter.Report(SERVICE_STOP_PENDING, 0);
  reporter.Report(SERVICE_STOPPED, 0);
  ExpectReports({{SERVICE_START_PENDING, 1, 3000, 0},
                 {SERVICE_RUNNING, 0, 0, SERVICE_ACCEPT_STOP},
                 {SERVICE_STOP_PENDING, 2, 0, SERVICE_ACCEPT_STOP},
                 {SERVICE_STOPPED, 0, 0, SERVICE_ACCEPT_STOP}});
  EXPECT_EQ(static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS), reports[0].dwServiceType);
}

TEST_F(ServiceControlTest, StopControlReportsStopPendingTwiceAndSignalsNothingElse) {
  reporter.Report(SERVICE_START_PENDING, 3000);
  reporter.Report(SERVICE_RUNNING, 0);
  HandleServiceControl(SERVICE_CONTROL_STOP, reporter);
  ExpectReports({{SERVICE_START_PENDING, 1, 3000, 0},
                 {SERVICE_RUNNING, 0, 0, SERVICE_ACCEPT_STOP},
                 {SERVICE_STOP_PENDING, 2, 0, SERVICE_ACCEPT_STOP},
                 {SERVICE_STOP_PENDING, 3, 0, SERVICE_ACCEPT_STOP}});
  EXPECT_EQ((std::vector<std::wstring>{L"1622 1", L"1623"}), log.Messages());
}

TEST_F(ServiceControlTest, InterrogateIsOnlyLogged) {
  HandleServiceControl(SERVICE_CONTROL_INTERROGATE, reporter);
  EXPECT_TRUE(reports.empty());
  EXPECT_EQ(std::vector<std::wstring>{L"1622 4"}, log.Messages());
}

TEST_F(ServiceControlTest, StopAfterTheFinalReportKeepsTheServiceStopped) {
  reporter.Report(SERVICE_STOPPED, 0);
  HandleServiceControl(SERVICE_CONTROL_STOP, reporter);
  ASSERT_EQ(1u, reports.size());
  EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), reports[0].dwCurrentState);
}

TEST_F(ServiceControlTest, WorkerWithoutContextLogsAndStops) {
  SetLastError(0);
  RunServiceWorker(reporter, nullptr);
  ExpectReports({{SERVICE_RUNNING, 0, 0, SERVICE_ACCEPT_STOP}, {SERVICE_STOPPED, 0, 0, SERVICE_ACCEPT_STOP}});
  ASSERT_EQ(1u, log.Messages().size());
  EXPECT_EQ(0u, log.Messages()[0].find(L"1241 "));
}

// Each run creates its stop event and closes it again: a service process
// runs one cycle, but the event must not outlive the run that made it.
TEST_F(ServiceControlTest, WorkerRunsLeaveNoHandleBehind) {
  size_t before = OpenHandleCount();
  for (int run = 0; run < 20; ++run) RunServiceWorker(reporter, nullptr);
  EXPECT_EQ(before, OpenHandleCount());
}

TEST_F(ServiceControlTest, DispatcherFromAConsoleFailsWith1063) {
  // A process connects to the Service Control Manager once at most: when the
  // test runs again in the same process (--gtest_repeat), the platform
  // answers 1056 instead.
  static bool triedBefore = false;
  const wchar_t* expected = triedBefore ? L"1619 1056" : L"1619 1063";
  triedBefore = true;
  EXPECT_FALSE(RunServiceDispatcher());
  EXPECT_EQ((std::vector<std::wstring>{L"1618", expected}), log.Messages());
}
