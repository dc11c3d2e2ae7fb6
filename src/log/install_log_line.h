#pragma once

#include <cstdint>
#include <string>

// The three levels of the install log, passed as a 32-bit signed integer.
enum class LogLevel : int32_t { Info = 0, Warning = 1, Error = 2 };

// A UTC time as the platform reports it (SYSTEMTIME fields).
struct LogTimestamp {
  unsigned year;
  unsigned month;
  unsigned day;
  unsigned hour;
  unsigned minute;
  unsigned second;
  unsigned milliseconds;
};

// Decimal form of a 32-bit signed value: "-" for negatives, no padding.
// An HRESULT such as 0x80070005 therefore reads -2147024891.
std::wstring ToDecimalString(int32_t value);

// "info", "warning" or "error".
const wchar_t* LogLevelWord(LogLevel level);

// One finished log line: unpadded time stamp "Y-M-D+h-m-s.ms", " [", the level
// word, "] ", the message unchanged, and CR LF.
std::wstring FormatInstallLogLine(const LogTimestamp& time, LogLevel level,
                                  const std::wstring& message);
