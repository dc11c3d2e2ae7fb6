#include "service_configuration.h"

#include <string>

#include "common/wide_text.h"
#include "file_snapshot.h"
#include "files/windows_file_manager.h"
#include "install_request.h"
#include "program_run.h"
#include "settings/settings_file.h"
#include "settings/settings_keys.h"
#include "update/update_state.h"

namespace {

// What -isSAUEnabled exits with when silent updating is on.
const DWORD kSilentUpdatingOn = 1001;

std::wstring Wide(const ByteString& utf8) {
  std::wstring wide;
  Utf8ToWide(utf8.c_str(), wide);
  return wide;
}

bool SetSetting(SettingsFile& settings, const char* key, const std::wstring& value) {
  ByteString utf8;
  if (!WideToUtf8(value.c_str(), utf8)) return false;
  settings.Set(key, utf8);
  return true;
}

// SERVERDOMAIN and VERBOSELOGGING as ksm.cfg lines, through the settings
// store the service reads them with: one save that keeps every other key.
bool StoreSettingLines(const MsiSession& session, const ByteString& settingsPath,
                       const ServiceConfiguration& configuration) {
  if (configuration.serverDomain.empty() && configuration.verboseLogging.empty()) return true;
  SettingsFile settings(settingsPath);
  bool stored =
      (configuration.serverDomain.empty() ||
       SetSetting(settings, kServerDomain, configuration.serverDomain)) &&
      (configuration.verboseLogging.empty() ||
       SetSetting(settings, kVerboseLogging, configuration.verboseLogging)) &&
      settings.Save();
  if (stored) {
    session.Note(L"Wrote the server domain and verbose logging settings to " +
                 Wide(settingsPath) + L".");
  } else {
    session.Error(L"The settings could not be written to " + Wide(settingsPath) + L".");
  }
  return stored;
}

// UPDATEMODE through the program's own switch, then read back with
// -isSAUEnabled: the switches exit with 0 whether or not they could save.
bool ApplyUpdateMode(const MsiSession& session, const ServiceConfiguration& configuration) {
  const UpdateModeRule* rule = FindUpdateMode(configuration.updateMode);
  if (rule == nullptr) return true;  // not given; a wrong value never gets here
  DWORD exitCode = 0;
  if (!RunSwitch(session, configuration.program, rule->switchText, exitCode)) return false;
  if (!RunSwitch(session, configuration.program, L"-isSAUEnabled", exitCode)) return false;
  if ((exitCode == kSilentUpdatingOn) == rule->silent) return true;
  session.Error(L"UPDATEMODE=" + configuration.updateMode +
                L" did not reach ksm.cfg: the program could not save it (its install log "
                L"Oskvar\\Plumix\\PlumixInstall.log in the system folder tells why).");
  return false;
}

// -createDefaultTask: the task runs the program from where it is installed.
// A registration that did not end well may have left a task: it goes again.
bool CreateTask(const MsiSession& session, const ServiceConfiguration& configuration) {
  if (!configuration.createTask) return true;
  DWORD exitCode = 0;
  if (RunSwitch(session, configuration.program, L"-createDefaultTask", exitCode) &&
      exitCode == 0) {
    return true;
  }
  session.Error(L"The scheduled task could not be registered.");
  RunProgramSwitch(configuration.program, L"-deleteTask", exitCode);
  return false;
}

// After the task is registered again on an upgrade: the update state the
// older version left, as it was.
bool RestoreKeptState(const MsiSession& session, const KeptUpdateState& state) {
  if ((!state.hasLastUpdateCheck || StoreLastUpdateCheckTime(state.lastUpdateCheck)) &&
      (!state.hasUpdateAttempts || StoreUpdateAttempts(state.updateAttempts))) {
    if (state.hasLastUpdateCheck || state.hasUpdateAttempts) {
      session.Note(L"Kept the update state: " + FormatKeptUpdateState(state) + L".");
    }
    return true;
  }
  session.Error(L"The update state could not be written back.");
  return false;
}

}  // namespace

UINT ApplyServiceConfiguration(const MsiSession& session) {
  ServiceConfiguration configuration;
  if (!ParseServiceConfiguration(session.Property(L"CustomActionData"), configuration)) {
    session.Error(L"The package's configuration data is malformed.");
    return ERROR_INSTALL_FAILURE;
  }
  VUZI::WindowsFileManager files;
  const ByteString& settingsPath = files.GetSettingsFilePath();
  FileSnapshot before;
  if (!before.Take(settingsPath)) {
    session.Error(Wide(settingsPath) + L" exists but cannot be read.");
    return ERROR_INSTALL_FAILURE;
  }
  if (StoreSettingLines(session, settingsPath, configuration) &&
      ApplyUpdateMode(session, configuration) && CreateTask(session, configuration) &&
      RestoreKeptState(session, configuration.keptState)) {
    return ERROR_SUCCESS;
  }
  if (!before.Restore()) session.Error(Wide(settingsPath) + L" could not be put back as it was.");
  return ERROR_INSTALL_FAILURE;
}
