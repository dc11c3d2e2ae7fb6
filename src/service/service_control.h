#pragma once

#include <windows.h>

#include <mutex>

#include "common/platform_access.h"
#include "settings/auto_update_policy.h"

// The service's status record, its handle and its checkpoint counter, shared
// by the control handler (main thread) and the worker (service thread). The
// program has one, over kSystemPlatform; tests make their own.
class ServiceStatusReporter {
 public:
  explicit ServiceStatusReporter(const PlatformAccess& platform) : platform_(platform) {}
  ServiceStatusReporter(const ServiceStatusReporter&) = delete;
  ServiceStatusReporter& operator=(const ServiceStatusReporter&) = delete;

  // Keeps the handle RegisterServiceCtrlHandlerW returned and sets the
  // service type.
  void Attach(SERVICE_STATUS_HANDLE handle);

  // Fills the record and hands it to the platform's setServiceStatus:
  // pending states take the next checkpoint (the first is 1), running and
  // stopped take 0; the stop control is accepted in every state but start
  // pending. Reports of the two threads are serialised.
  void Report(DWORD state, DWORD waitHint);

  // The stop control: a stop-pending report, event 1623, the stop event
  // signalled (when the worker has lent one) and the state reported again.
  // Once the service has reported stopped it stays stopped and nothing is
  // reported.
  void AcknowledgeStop();

  // The event the stop control signals, owned by the worker that lends it;
  // null takes it back.
  void LendStopEvent(HANDLE stopEvent);

 private:
  void ReportLocked(DWORD state, DWORD waitHint);

  const PlatformAccess& platform_;
  std::mutex lock_;
  SERVICE_STATUS status_ = {};
  SERVICE_STATUS_HANDLE handle_ = nullptr;
  DWORD checkpoint_ = 1;
  HANDLE stopEvent_ = nullptr;
};

// Connects the process to the Service Control Manager and blocks until the
// service has run its one cycle and stopped. False when the process was not
// started by the Service Control Manager (event 1619 with the error number).
bool RunServiceDispatcher();

// The service's main function: registers the control handler, reports start
// pending and runs the worker with the process's service context.
void WINAPI ServiceMain(DWORD argumentCount, LPWSTR* arguments);

// The control handler the program registers: HandleServiceControl with the
// program's reporter.
void WINAPI ServiceControlHandler(DWORD control);

// Logs every control (1622); a stop is acknowledged with two stop-pending
// reports but does not interrupt the cycle.
void HandleServiceControl(DWORD control, ServiceStatusReporter& reporter);

// Creates the stop event for this run (closed again at the end), reports
// running, runs one update cycle when there is a service context (event 1241
// when there is none) and reports stopped. The cycle runs under a watchdog
// with the platform's bounds: a cycle that outlives them is ended by the
// watchdog, which reports stopped and ends the process.
void RunServiceWorker(ServiceStatusReporter& reporter, const ServiceContext* context);
