#pragma once

#include <windows.h>

#include <string>

#include "msi_session.h"

constexpr DWORD kSwitchTimeoutMilliseconds = 5 * 60 * 1000;

// Runs the program with one switch, as an administrator would from a prompt
// in the system folder: that is its current directory, so the error lines of
// the switch reach the install log beside the service's. Waits at most
// kSwitchTimeoutMilliseconds, then ends it. ERROR_SUCCESS with the exit code;
// otherwise why the program could not be started or waited for
// (ERROR_TIMEOUT when it did not end in time).
DWORD RunProgramSwitch(const std::wstring& program, const wchar_t* switchText, DWORD& exitCode);

// RunProgramSwitch with a line in the installation log: the exit code, or an
// error when the program could not be run. True when it ran to its end.
bool RunSwitch(const MsiSession& session, const std::wstring& program, const wchar_t* switchText,
               DWORD& exitCode);
