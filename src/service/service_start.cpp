#include "service/service_start.h"

#include <windows.h>

#include "common/unique_handle.h"
#include "log/install_log.h"

bool RequestServiceStart(const ServiceDescriptor& descriptor) {
  UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager.valid()) {
    LogEventLastError(LogLevel::Error, 1221);
    return false;
  }
  UniqueServiceHandle service(
      OpenServiceW(manager.get(), descriptor.serviceName.c_str(), SERVICE_ALL_ACCESS));
  if (!service.valid()) {
    LogEventLastError(LogLevel::Error, 1222);
    return false;
  }
  bool started = StartServiceA(service.get(), 0, nullptr) != 0;
  if (started) {
    LogEvent(LogLevel::Info, 1604);
  } else {
    LogEventLastError(LogLevel::Error, 1223);
  }
  // The service handle closes before the manager's, in declaration order.
  return started;
}
