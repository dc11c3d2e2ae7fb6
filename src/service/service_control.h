#pragma once

#include <windows.h>

// Connects the process to the Service Control Manager and blocks until the
// service has run its one cycle and stopped. False when the process was not
// started by the Service Control Manager (event 1619 with the error number).
bool RunServiceDispatcher();

// The service's main function: registers the control handler, reports start
// pending and runs the worker.
void WINAPI ServiceMain(DWORD argumentCount, LPWSTR* arguments);

// Logs every control (1622); a stop is acknowledged with two stop-pending
// reports but does not interrupt the cycle.
void WINAPI ServiceControlHandler(DWORD control);

// Reports running, runs one update cycle when there is a service context,
// and reports stopped on every path.
void RunServiceWorker();

// Fills the shared status record and hands it to the Service Control
// Manager. Reports from the handler and the worker are serialised.
void ReportServiceStatus(DWORD state, DWORD waitHint);

// Where status reports go: SetServiceStatus unless a test puts a recorder in
// its place.
using StatusReportFunction = BOOL(WINAPI*)(SERVICE_STATUS_HANDLE, LPSERVICE_STATUS);
extern StatusReportFunction statusReporter;
