#include "program_run.h"

#include "common/unique_handle.h"

namespace {

// The folder the program sees as its system folder: for a 32-bit program on
// 64-bit Windows, "System32" that the system redirects to SysWOW64.
DWORD SystemFolder(std::wstring& folder) {
  wchar_t buffer[MAX_PATH];
  UINT length = GetSystemDirectoryW(buffer, MAX_PATH);
  if (length == 0) return GetLastError();
  if (length >= MAX_PATH) return ERROR_BUFFER_OVERFLOW;
  folder.assign(buffer, length);
  return ERROR_SUCCESS;
}

}  // namespace

DWORD RunProgramSwitch(const std::wstring& program, const wchar_t* switchText, DWORD& exitCode) {
  std::wstring folder;
  DWORD error = SystemFolder(folder);
  if (error != ERROR_SUCCESS) return error;
  std::wstring commandLine = L"\"" + program + L"\" " + switchText;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started = {};
  // No console window: the switch echoes its log lines, which nobody reads.
  if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                      CREATE_NO_WINDOW, nullptr, folder.c_str(), &startup, &started)) {
    return GetLastError();
  }
  UniqueKernelHandle process(started.hProcess);
  UniqueKernelHandle thread(started.hThread);
  DWORD waited = WaitForSingleObject(process.get(), kSwitchTimeoutMilliseconds);
  if (waited != WAIT_OBJECT_0) {
    error = waited == WAIT_TIMEOUT ? ERROR_TIMEOUT : GetLastError();
    TerminateProcess(process.get(), ERROR_TIMEOUT);
    return error;
  }
  return GetExitCodeProcess(process.get(), &exitCode) ? ERROR_SUCCESS : GetLastError();
}

bool RunSwitch(const MsiSession& session, const std::wstring& program, const wchar_t* switchText,
               DWORD& exitCode) {
  std::wstring command = L"\"" + program + L"\" " + switchText;
  DWORD error = RunProgramSwitch(program, switchText, exitCode);
  if (error != ERROR_SUCCESS) {
    session.Error(command + L" could not be run: error " + std::to_wstring(error) + L".");
    return false;
  }
  session.Note(command + L" ended with exit code " + std::to_wstring(exitCode) + L".");
  return true;
}
