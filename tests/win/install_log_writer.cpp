// Appends lines to the install log of its current directory as the service
// does, "WRITER I padding-padding" for I from 0 to COUNT - 1, so that the
// install log tests can run several writers at once.
//   install_log_writer.exe WRITER COUNT
#include <cwchar>
#include <string>

#include "log/install_log.h"

int wmain(int argumentCount, wchar_t** arguments) {
  if (argumentCount != 3) return 2;
  const std::wstring writer = arguments[1];
  const long count = std::wcstol(arguments[2], nullptr, 10);
  for (long i = 0; i < count; ++i) {
    WriteInstallLog(LogLevel::Error, writer + L" " + std::to_wstring(i) + L" padding-padding");
  }
  return 0;
}
