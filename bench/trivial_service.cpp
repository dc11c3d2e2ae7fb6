// The least a Windows service can do, for the benchmark's not-due figure:
// started by the Service Control Manager it reports running, then stopped,
// and its process ends. What the service's not-due cycle costs beyond this
// is its own work.
#include <windows.h>

namespace {

wchar_t kServiceName[] = L"PlumixBenchTrivialSvc";
SERVICE_STATUS_HANDLE statusHandle = nullptr;

DWORD WINAPI ControlHandler(DWORD, DWORD, LPVOID, LPVOID) { return NO_ERROR; }

void Report(DWORD state) {
  SERVICE_STATUS status = {};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  SetServiceStatus(statusHandle, &status);
}

void WINAPI ServiceMain(DWORD, LPWSTR*) {
  statusHandle = RegisterServiceCtrlHandlerExW(kServiceName, ControlHandler, nullptr);
  if (statusHandle == nullptr) return;
  Report(SERVICE_RUNNING);
  Report(SERVICE_STOPPED);
}

}  // namespace

int wmain(int, wchar_t**) {
  SERVICE_TABLE_ENTRYW table[] = {{kServiceName, ServiceMain}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
