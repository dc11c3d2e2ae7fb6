#include "log/install_log_line.h"

std::wstring ToDecimalString(int32_t value) {
  // Work in the unsigned domain so that INT32_MIN negates without overflow.
  uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  wchar_t digits[12];
  int position = 12;
  do {
    digits[--position] = static_cast<wchar_t>(L'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) digits[--position] = L'-';
  return std::wstring(digits + position, digits + 12);
}

const wchar_t* LogLevelWord(LogLevel level) {
  switch (level) {
    case LogLevel::Info:
      return L"info";
    case LogLevel::Warning:
      return L"warning";
    default:
      return L"error";
  }
}

std::wstring FormatInstallLogLine(const LogTimestamp& time, LogLevel level,
                                  const std::wstring& message) {
  auto number = [](unsigned value) { return ToDecimalString(static_cast<int32_t>(value)); };
  std::wstring line;
  line.reserve(40 + message.size());
  line += number(time.year);
  line += L'-';
  line += number(time.month);
  line += L'-';
  line += number(time.day);
  line += L'+';
  line += number(time.hour);
  line += L'-';
  line += number(time.minute);
  line += L'-';
  line += number(time.second);
  line += L'.';
  line += number(time.milliseconds);
  line += L" [";
  line += LogLevelWord(level);
  line += L"] ";
  line += message;
  line += L"\r\n";
  return line;
}
