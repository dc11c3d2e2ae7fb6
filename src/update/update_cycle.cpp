#include "update/update_cycle.h"

#include <windows.h>

#include "log/install_log.h"
#include "net/version_manifest.h"
#include "task/update_task.h"
#include "update/installed_version.h"
#include "update/installer_launch.h"
#include "update/update_state.h"

namespace {

struct FetchedManifest {
  std::optional<VersionRecord> activeX;
  std::optional<VersionRecord> plugin;
  std::optional<uint32_t> checkFrequency;
};

bool AttemptLimitReached() {
  uint32_t attempts = 0;
  return ReadUpdateAttempts(attempts) && attempts >= MaxUpdateAttempts;
}

// Counts the attempt, runs the install step and logs its outcome. True when
// the installer was started.
bool AttemptInstall(const VersionRecord& record, const ServiceContext& context,
                    int32_t launchedEvent, int32_t failedEvent) {
  // An attempt that cannot be counted is still made; the line tells the
  // administrator that the attempt limit cannot stop this machine.
  if (!IncrementUpdateAttempts()) LogEventLastError(LogLevel::Error, 1312);
  if (InstallUpdate(record, context)) {
    LogEvent(LogLevel::Info, launchedEvent);
    return true;
  }
  LogEventLastError(LogLevel::Error, failedEvent);
  return false;
}

// ActiveX first; the Plugin variant is looked at only when ActiveX needs
// nothing, so a failed ActiveX install is retried at the next due check.
bool InstallFirstOutdatedVariant(const FetchedManifest& manifest, const ServiceContext& context) {
  if (IsUpdateNeeded(*manifest.activeX)) {
    return AttemptInstall(*manifest.activeX, context, 1609, 1234);
  }
  if (IsUpdateNeeded(*manifest.plugin)) return AttemptInstall(*manifest.plugin, context, 1610, 1300);
  return false;
}

// The steps from the policy gate to the install. Returns whether an installer
// was launched; manifest is filled only when the fetch succeeded.
bool CheckAndInstall(const ServiceContext& context, FetchedManifest& manifest) {
  const AutoUpdatePolicy& policy = context.policy;
  if (policy.AutoUpdateDisabled || !policy.SilentAutoUpdateEnabled) return false;
  if (!IsUpdateCheckDue()) return false;
  FetchedManifest fetched;
  if (!FetchVersionManifest(context, fetched.activeX, fetched.plugin, fetched.checkFrequency)) {
    return false;
  }
  manifest = fetched;
  // Without the time stored, the next start of the service checks again.
  if (!StoreLastUpdateCheck(false)) LogEventLastError(LogLevel::Error, 1311);
  if (AttemptLimitReached()) {
    LogEvent(LogLevel::Error, 1301);
    SetAutoUpdateMode(AutoUpdateMode::Notify);
    return false;
  }
  return InstallFirstOutdatedVariant(manifest, context);
}

}  // namespace

bool RefreshUpdateTask(std::optional<uint32_t> checkFrequency, const ServiceContext& context) {
  if (!HasProgramPath(context.modulePath, context.modulePathError)) return false;
  int32_t frequency = checkFrequency ? static_cast<int32_t>(*checkFrequency) : 1;
  std::unique_ptr<UpdateTaskRequest> request = MakeUpdateTaskRequest(frequency, context.modulePath);
  return RegisterUpdateTask(*request);
}

void RunUpdateCycle(const ServiceContext& context) {
  LogEvent(LogLevel::Info, 1608);
  FetchedManifest manifest;
  bool installed = CheckAndInstall(context, manifest);
  if (!installed) RefreshUpdateTask(manifest.checkFrequency, context);
  LogEvent(LogLevel::Info, 1612);
}
