#include "service/service_control.h"

#include <mutex>
#include <new>

#include "log/install_log.h"
#include "service/service_descriptor.h"
#include "settings/auto_update_policy.h"
#include "update/update_cycle.h"

StatusReportFunction statusReporter = SetServiceStatus;

namespace {

// Shared by the main thread (control handler) and the service thread
// (worker); statusLock keeps a report from tearing another.
std::mutex statusLock;
SERVICE_STATUS serviceStatus = {};
SERVICE_STATUS_HANDLE statusHandle = nullptr;
DWORD checkpointCounter = 1;

// Signalled by the stop control; nothing waits on it, and it lives as long
// as the process.
HANDLE ServiceStopEvent = nullptr;

void ReportServiceStatusLocked(DWORD state, DWORD waitHint) {
  serviceStatus.dwCurrentState = state;
  serviceStatus.dwWin32ExitCode = NO_ERROR;
  serviceStatus.dwServiceSpecificExitCode = 0;
  serviceStatus.dwWaitHint = waitHint;
  serviceStatus.dwControlsAccepted = state == SERVICE_START_PENDING ? 0 : SERVICE_ACCEPT_STOP;
  if (state == SERVICE_RUNNING || state == SERVICE_STOPPED) {
    serviceStatus.dwCheckPoint = 0;
  } else {
    serviceStatus.dwCheckPoint = checkpointCounter++;
  }
  statusReporter(statusHandle, &serviceStatus);
}

// An allocation failure that escapes the cycle must not end the service
// thread silently: it is logged and the service still reports stopped.
void RunCycleCatchingExhaustion() {
  try {
    RunUpdateCycle();
  } catch (const std::bad_alloc&) {
    LogEventLastError(LogLevel::Error, 1239);
  }
}

}  // namespace

void ReportServiceStatus(DWORD state, DWORD waitHint) {
  std::lock_guard<std::mutex> guard(statusLock);
  ReportServiceStatusLocked(state, waitHint);
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
  statusHandle = RegisterServiceCtrlHandlerW(kServiceName, ServiceControlHandler);
  if (statusHandle == nullptr) {
    LogEventLastError(LogLevel::Error, 1240);
    return;
  }
  {
    std::lock_guard<std::mutex> guard(statusLock);
    serviceStatus.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    serviceStatus.dwServiceSpecificExitCode = 0;
  }
  ReportServiceStatus(SERVICE_START_PENDING, 3000);
  RunServiceWorker();
  LogEvent(LogLevel::Info, 1621);
}

void RunServiceWorker() {
  ServiceStopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (ServiceStopEvent == nullptr) {
    ReportServiceStatus(SERVICE_STOPPED, 0);
    return;
  }
  ReportServiceStatus(SERVICE_RUNNING, 0);
  if (CurrentServiceContext != nullptr) {
    RunCycleCatchingExhaustion();
  } else {
    LogEventLastError(LogLevel::Error, 1241);
  }
  ReportServiceStatus(SERVICE_STOPPED, 0);
}

void WINAPI ServiceControlHandler(DWORD control) {
  LogEventValue(LogLevel::Info, 1622, static_cast<int32_t>(control));
  if (control != SERVICE_CONTROL_STOP) return;
  std::lock_guard<std::mutex> guard(statusLock);
  // Once the worker has reported stopped, a late stop control must not turn
  // the service back to stop pending.
  if (serviceStatus.dwCurrentState == SERVICE_STOPPED) return;
  ReportServiceStatusLocked(SERVICE_STOP_PENDING, 0);
  LogEvent(LogLevel::Info, 1623);
  SetEvent(ServiceStopEvent);
  ReportServiceStatusLocked(serviceStatus.dwCurrentState, 0);
}
