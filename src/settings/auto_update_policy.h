#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "common/platform_access.h"

class CycleWatchdog;

// The built-in update hosts: the manifest comes from the primary, packages
// from the secondary, unless SilentAutoUpdateServerDomain names another host.
extern const wchar_t kPrimaryDownloadHost[];
extern const wchar_t kSecondaryDownloadHost[];

// The values read from the settings file once at service start and only read
// afterwards; the service context holds them. Neither host is ever empty.
struct AutoUpdatePolicy {
  bool AutoUpdateDisabled = false;
  bool SilentAutoUpdateEnabled = false;
  bool RunningOnWow64 = false;
  std::wstring ManifestHost = kPrimaryDownloadHost;
  std::wstring PackageHost = kSecondaryDownloadHost;
};

enum class AutoUpdateMode : int32_t { Silent = 0, Notify = 1, Disable = 2 };

// Writes SilentAutoUpdateEnable and AutoUpdateDisable for the mode, keeping
// every other entry. The result of the save; a failed save leaves the file as
// it was and logs 1310 with the error of the failing step. False for an
// unknown mode (the file is not touched) and after running out of memory
// (event 1418).
bool SetAutoUpdateMode(AutoUpdateMode mode);

// Whether SilentAutoUpdateEnable reads true (event 1607 when it does).
// AutoUpdateDisable is not consulted.
bool IsSilentAutoUpdateEnabled();

// Fills the policy and switches on VerboseLogging from the settings file.
// False only after running out of memory (event 1420).
bool LoadAutoUpdatePolicy(AutoUpdatePolicy& policy);

// What IsWow64Process reports for this process; 0 when the system lacks it.
int32_t IsWow64();

// The process-wide object of the service role: what one update cycle works
// with.
struct ServiceContext {
  std::wstring modulePath;
  AutoUpdatePolicy policy;
  const PlatformAccess& platform;
  // Why modulePath is empty, when it is.
  DWORD modulePathError = ERROR_SUCCESS;
  // The running cycle's watchdog; null when the cycle is not watched.
  CycleWatchdog* watchdog = nullptr;
};

// Null outside the service role.
extern ServiceContext* CurrentServiceContext;

// Keeps a copy of the path and the platform, sets RunningOnWow64 and loads
// the policy (event 1233 when that fails).
std::unique_ptr<ServiceContext> CreateServiceContext(const std::wstring& modulePath,
                                                     const PlatformAccess& platform);
