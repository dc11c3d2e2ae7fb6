#include "support/log_capture.h"

#include <windows.h>

#include <filesystem>
#include <regex>

#include "log/install_log.h"
#include "support/test_files.h"

LogCapture::LogCapture(bool verbose) {
  wchar_t current[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, current);
  previousDirectory_ = current;
  folder_ = NewTempFolder();
  std::filesystem::create_directories(std::filesystem::path(folder_ + L"\\Oskvar\\Plumix"));
  SetCurrentDirectoryW(folder_.c_str());
  VerboseLogging = verbose;
}

LogCapture::~LogCapture() {
  SetCurrentDirectoryW(previousDirectory_.c_str());
  RemoveTree(folder_);
  VerboseLogging = false;
}

std::wstring LogCapture::LogPath() const { return folder_ + L"\\" + kInstallLogPath; }

std::string LogCapture::RawBytes() const { return ReadFileBytes(LogPath()); }

std::vector<std::wstring> LogCapture::Lines() const {
  std::string bytes = RawBytes();
  std::wstring text;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                 (static_cast<unsigned char>(bytes[i + 1]) << 8));
  }
  std::vector<std::wstring> lines;
  size_t start = 0;
  for (size_t end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

std::vector<std::wstring> LogCapture::Messages() const {
  std::vector<std::wstring> messages;
  for (const std::wstring& line : Lines()) {
    size_t mark = line.find(L"] ");
    messages.push_back(mark == std::wstring::npos ? line : line.substr(mark + 2));
  }
  return messages;
}

bool MatchesEvent(const std::wstring& message, int32_t event) {
  return std::regex_match(message, std::wregex(std::to_wstring(event) + L" -?\\d+"));
}
