// The custom actions of the deployment package (PlumixPackageActions.dll),
// named in PlumixPlayerUpdateService.wxs. Windows Installer calls each entry
// point; nothing escapes one: running out of memory fails the action.

#include <windows.h>

#include <msiquery.h>

#include <new>
#include <string>
#include <vector>

#include "data_removal.h"
#include "install_request.h"
#include "msi_session.h"
#include "program_run.h"
#include "service_configuration.h"
#include "update/update_state.h"

namespace {

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

// Before an upgrade removes the older version, or a repair registers the task
// again: the update state, for ConfigureService to put back. A value that
// cannot be read is taken as missing.
UINT RememberUpdateStateIn(const MsiSession& session) {
  KeptUpdateState state;
  state.hasLastUpdateCheck = ReadLastUpdateCheck(state.lastUpdateCheck);
  state.hasUpdateAttempts = ReadUpdateAttempts(state.updateAttempts);
  std::wstring text = FormatKeptUpdateState(state);
  session.Note(L"The update state to keep (LastUpdateCheck,UpdateAttempts): " + text + L".");
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

UINT RemoveDataIn(const MsiSession& session) {
  RemoveServiceData(session);
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
  return Guarded(install, ApplyServiceConfiguration);
}

extern "C" UINT __stdcall RememberUpdateState(MSIHANDLE install) {
  return Guarded(install, RememberUpdateStateIn);
}

extern "C" UINT __stdcall DeleteTask(MSIHANDLE install) { return Guarded(install, DeleteTaskIn); }

extern "C" UINT __stdcall RemoveData(MSIHANDLE install) { return Guarded(install, RemoveDataIn); }
