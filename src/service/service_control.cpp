#include "service/service_control.h"

#include <new>

#include "common/unique_handle.h"
#include "log/install_log.h"
#include "service/service_descriptor.h"
#include "update/cycle_watchdog.h"
#include "update/update_cycle.h"

#if defined(_M_IX86) || defined(__i386__)
static_assert(sizeof(SERVICE_STATUS) == 28, "SetServiceStatus reads seven 32-bit fields");
#endif

namespace {

// The program's status record, used by the callbacks the Service Control
// Manager makes.
ServiceStatusReporter& ProgramReporter() {
  static ServiceStatusReporter reporter(kSystemPlatform);
  return reporter;
}

// An allocation failure that escapes the cycle must not end the service
// thread silently: it is logged and the service still reports stopped.
void RunCycleCatchingExhaustion(const ServiceContext& context) {
  try {
    RunUpdateCycle(context);
  } catch (const std::bad_alloc&) {
    LogEventLastError(LogLevel::Error, 1239);
  }
}

// Lends the worker's stop event to the reporter for as long as it lives, so
// that the control handler never signals a closed handle.
class StopEventLoan {
 public:
  StopEventLoan(ServiceStatusReporter& reporter, HANDLE stopEvent) : reporter_(reporter) {
    reporter_.LendStopEvent(stopEvent);
  }
  ~StopEventLoan() { reporter_.LendStopEvent(nullptr); }
  StopEventLoan(const StopEventLoan&) = delete;
  StopEventLoan& operator=(const StopEventLoan&) = delete;

 private:
  ServiceStatusReporter& reporter_;
};

// The cycle's thread may be held inside a call that never returns, so the
// watchdog does not wait for it: it reports the service stopped and ends the
// process, and the next start of the task runs a cycle of its own.
void RunWatchedCycle(const ServiceContext& context, ServiceStatusReporter& reporter) {
  CycleWatchdog watchdog(context.platform.bounds, [&reporter] {
    reporter.Report(SERVICE_STOPPED, 0);
    TerminateProcess(GetCurrentProcess(), ERROR_TIMEOUT);
  });
  ServiceContext watched = context;
  watched.watchdog = &watchdog;
  RunCycleCatchingExhaustion(watched);
}

}  // namespace

void ServiceStatusReporter::Attach(SERVICE_STATUS_HANDLE handle) {
  std::lock_guard<std::mutex> guard(lock_);
  handle_ = handle;
  status_.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status_.dwServiceSpecificExitCode = 0;
}

void ServiceStatusReporter::Report(DWORD state, DWORD waitHint) {
  std::lock_guard<std::mutex> guard(lock_);
  ReportLocked(state, waitHint);
}

void ServiceStatusReporter::AcknowledgeStop() {
  std::lock_guard<std::mutex> guard(lock_);
  // Once the worker has reported stopped, a late stop control must not turn
  // the service back to stop pending.
  if (status_.dwCurrentState == SERVICE_STOPPED) return;
  ReportLocked(SERVICE_STOP_PENDING, 0);
  LogEvent(LogLevel::Info, 1623);
  if (stopEvent_ != nullptr) SetEvent(stopEvent_);
  ReportLocked(status_.dwCurrentState, 0);
}

void ServiceStatusReporter::LendStopEvent(HANDLE stopEvent) {
  std::lock_guard<std::mutex> guard(lock_);
  stopEvent_ = stopEvent;
}

void ServiceStatusReporter::ReportLocked(DWORD state, DWORD waitHint) {
  status_.dwCurrentState = state;
  status_.dwWin32ExitCode = NO_ERROR;
  status_.dwServiceSpecificExitCode = 0;
  status_.dwWaitHint = waitHint;
  status_.dwControlsAccepted = state == SERVICE_START_PENDING ? 0 : SERVICE_ACCEPT_STOP;
  if (state == SERVICE_RUNNING || state == SERVICE_STOPPED) {
    status_.dwCheckPoint = 0;
  } else {
    status_.dwCheckPoint = checkpoint_++;
  }
  platform_.setServiceStatus(handle_, &status_);
}

bool RunServiceDispatcher() {
  LogEvent(LogLevel::Info, 1618);
  wchar_t serviceName[] = L"QuorvelPlumixPlayerUpdateSvc";
  SERVICE_TABLE_ENTRYW dispatchTable[] = {{serviceName, ServiceMain}, {nullptr, nullptr}};
  if (!StartServiceCtrlDispatcherW(dispatchTable)) {
    LogEventLastError(LogLevel::Info, 1619);
    return false;
  }
  LogEvent(LogLevel::Info, 1620);
  return true;
}

void WINAPI ServiceMain(DWORD, LPWSTR*) {
  SERVICE_STATUS_HANDLE handle = RegisterServiceCtrlHandlerW(kServiceName, ServiceControlHandler);
  if (handle == nullptr) {
    LogEventLastError(LogLevel::Error, 1240);
    return;
  }
  ServiceStatusReporter& reporter = ProgramReporter();
  reporter.Attach(handle);
  reporter.Report(SERVICE_START_PENDING, 3000);
  RunServiceWorker(reporter, CurrentServiceContext);
  LogEvent(LogLevel::Info, 1621);
}

void RunServiceWorker(ServiceStatusReporter& reporter, const ServiceContext* context) {
  UniqueKernelHandle stopEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!stopEvent.valid()) {
    reporter.Report(SERVICE_STOPPED, 0);
    return;
  }
  StopEventLoan loan(reporter, stopEvent.get());
  reporter.Report(SERVICE_RUNNING, 0);
  if (context != nullptr) {
    RunWatchedCycle(*context, reporter);
  } else {
    LogEventLastError(LogLevel::Error, 1241);
  }
  reporter.Report(SERVICE_STOPPED, 0);
}

void WINAPI ServiceControlHandler(DWORD control) { HandleServiceControl(control, ProgramReporter()); }

void HandleServiceControl(DWORD control, ServiceStatusReporter& reporter) {
  LogEventValue(LogLevel::Info, 1622, static_cast<int32_t>(control));
  if (control == SERVICE_CONTROL_STOP) reporter.AcknowledgeStop();
}
