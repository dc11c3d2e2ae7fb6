#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "log/install_log_line.h"

// Lets Info and Warning lines through. False at process start; set once to
// true when the service reads SilentAutoUpdateVerboseLogging, never reset.
extern std::atomic<bool> VerboseLogging;

// Relative to the current directory: under the service that is the system
// folder, beside the settings file.
extern const wchar_t kInstallLogPath[];

// The byte of the install log that every writer locks while it appends:
// append access alone does not make "find the end and write" one step on
// every platform. It lies far beyond any real end of file, so readers are
// never blocked.
constexpr uint64_t kInstallLogLockOffset = 0x7FFFFFFFFFFFFFFE;

// Stamps the message with the UTC time and level, echoes the line on standard
// output and appends it to the install log. Never fails towards the caller
// and never waits long: a missing folder, a locked file or a lock byte that
// another program holds for more than a few tens of milliseconds only loses
// the line.
void WriteInstallLog(LogLevel level, std::wstring message);

// Appends one finished line to the install log file in one write; false
// when it was lost: no folder, no access, a failed write, or the lock byte
// held by another program for longer than a few tens of milliseconds.
bool AppendInstallLogLine(const std::wstring& line);

// Whether a line of this level would be written now.
bool IsInstallLogLevelEnabled(LogLevel level);

// Event lines: the code alone; the code and a number; the code and a text;
// the code and the calling thread's last-error value read at this call.
void LogEvent(LogLevel level, int32_t code);
void LogEventValue(LogLevel level, int32_t code, int32_t value);
void LogEventText(LogLevel level, int32_t code, const std::wstring& text);
void LogEventLastError(LogLevel level, int32_t code);
