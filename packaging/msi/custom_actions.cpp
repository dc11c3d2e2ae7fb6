// The custom actions of the deployment package (PlumixPackageActions.dll),
// named in PlumixPlayerUpdateService.wxs. Windows Installer calls each entry
// point; nothing escapes one: running out of memory fails the action.

#include <windows.h>

#include <msiquery.h>

#include <new>
#include <string>
#include <vector>

#include "common/unique_handle.h"
#include "common/wide_text.h"
#include "file_snapshot.h"
#include "files/windows_file_manager.h"
#include "install_request.h"
#include "msi_session.h"
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

std::wstring Number(DWORD value) { return std::to_wstring(value); }

std::wstring FolderOf(const std::wstring& path) {
  std::wstring::size_type separator = path.find_last_of(L'\\');
  return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}

// Runs the switch and notes how it ended in the installation log. True when
// it ran to its end; its exit code is then in exitCode.
bool RunSwitch(const MsiSession& session, const std::wstring& program, const wchar_t* switchText,
               DWORD& exitCode) {
  std::wstring command = L"\"" + program + L"\" " + switchText;
  DWORD error = RunProgramSwitch(program, switchText, exitCode);
  if (error != ERROR_SUCCESS) {
    session.Error(command + L" could not be run: error " + Number(error) + L".");
    return false;
  }
  session.Note(command + L" ended with exit code " + Number(exitCode) + L".");
  return true;
}

// The checks of every public property, before anything changes.
UINT CheckRequestIn(const MsiSession& session) {
  PackageProperties properties;
  properties.updateMode = session.Property(L"UPDATEMODE");
  properties.serverDomain = session.Property(L"SERVERDOMAIN");
  properties.verboseLogging = session.Property(L"VERBOSELOGGING");
  properties.removeData = session.Property(L"REMOVEDATA");
  properties.newerVersionInstalled = !session.Property(L"WIX_DOWNGRADE_DETECTED").empty();
  std::vector<std::wstring> refusals = RefusalsOf(properties);
  for (const std::wstring& refusal : refusals) session.Error(refusal);
  return refusals.empty() ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
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
  session.Error(L"The update state could not be written back: error " + Number(GetLastError()) +
                L".");
  return false;
}

// The last step of an installation, an upgrade, a repair or a change of
// settings. On failure it puts ksm.cfg back as it found it, so that the
// installation it belongs to is undone in whole.
UINT ConfigureServiceIn(const MsiSession& session) {
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

// Before an upgrade removes the older version, or a repair registers the task
// again: the update state, for ConfigureService to put back. Reading cannot harm; what cannot be read is
// taken as missing.
UINT RememberUpdateStateIn(const MsiSession& session) {
  KeptUpdateState state;
  state.hasLastUpdateCheck = ReadLastUpdateCheck(state.lastUpdateCheck);
  state.hasUpdateAttempts = ReadUpdateAttempts(state.updateAttempts);
  std::wstring text = FormatKeptUpdateState(state);
  session.Note(L"The update state before the upgrade: " + text + L".");
  return session.SetProperty(L"PlumixKeptUpdateState", text);
}

// -deleteTask at removal. The removal goes on whatever it reports: a program
// that cannot be run must not keep the product installed.
UINT DeleteTaskIn(const MsiSession& session) {
  DWORD exitCode = 0;
  if (!RunSwitch(session, session.Property(L"CustomActionData"), L"-deleteTask", exitCode)) {
    session.Note(L"Delete the task \"Quorvel Plumix Player Updater\" with schtasks /delete.");
  }
  return ERROR_SUCCESS;
}

void DeleteFilesIn(const MsiSession& session, const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  UniqueFindHandle search(FindFirstFileW((folder + L"\\*").c_str(), &found));
  if (!search.valid()) return;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    std::wstring path = folder + L"\\" + found.cFileName;
    // A read-only file would refuse to go.
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!DeleteFileW(path.c_str())) {
      session.Note(L"Could not delete " + path + L": error " + Number(GetLastError()) + L".");
    }
  } while (FindNextFileW(search.get(), &found));
}

void RemoveEmptyFolder(const MsiSession& session, const std::wstring& folder) {
  if (RemoveDirectoryW(folder.c_str())) return;
  DWORD error = GetLastError();
  if (error != ERROR_DIR_NOT_EMPTY && error != ERROR_FILE_NOT_FOUND) {
    session.Note(L"Could not remove " + folder + L": error " + Number(error) + L".");
  }
}

// REMOVEDATA=1 at removal: every file of the data folder (ksm.cfg, the
// install log and what the service left beside them), the folder and its
// parent when empty, and the update state's registry key. What cannot go is
// noted in the log; the removal goes on.
UINT RemoveDataIn(const MsiSession& session) {
  session.Note(L"REMOVEDATA=1: removing the settings, the install log and the update state.");
  VUZI::WindowsFileManager files;
  std::wstring dataFolder = FolderOf(Wide(files.GetSettingsFilePath()));
  if (!dataFolder.empty()) {
    DeleteFilesIn(session, dataFolder);
    RemoveEmptyFolder(session, dataFolder);
    RemoveEmptyFolder(session, FolderOf(dataFolder));
  }
  LSTATUS status = RegDeleteKeyW(HKEY_LOCAL_MACHINE, kUpdateStateKey);
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
    session.Note(L"Could not delete HKLM\\" + std::wstring(kUpdateStateKey) + L": error " +
                 Number(static_cast<DWORD>(status)) + L".");
  }
  return ERROR_SUCCESS;
}

UINT Guarded(MSIHANDLE install, UINT (*action)(const MsiSession&)) {
  try {
    return action(MsiSession(install));
  } catch (const std::bad_alloc&) {
    return ERROR_INSTALL_FAILURE;
  }
}

}  // namespace

extern "C" UINT __stdcall CheckRequest(MSIHANDLE install) {
  return Guarded(install, CheckRequestIn);
}

extern "C" UINT __stdcall ConfigureService(MSIHANDLE install) {
  return Guarded(install, ConfigureServiceIn);
}

extern "C" UINT __stdcall RememberUpdateState(MSIHANDLE install) {
  return Guarded(install, RememberUpdateStateIn);
}

extern "C" UINT __stdcall DeleteTask(MSIHANDLE install) { return Guarded(install, DeleteTaskIn); }

extern "C" UINT __stdcall RemoveData(MSIHANDLE install) { return Guarded(install, RemoveDataIn); }
