#include "support/standin_installer.h"

#include "common/unique_handle.h"
#include "support/test_files.h"

namespace {

const wchar_t kHoldEventName[] = L"PlumixStandinInstallerHold";
const int kPollIntervalMs = 50;
const int kMostPolls = 600;
const DWORD kLongestExitWaitMs = 60 * 1000;

std::map<std::string, std::string> ParseRecord(const std::string& text) {
  std::map<std::string, std::string> record;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    std::string line = text.substr(start, end - start);
    size_t equals = line.find('=');
    if (equals != std::string::npos) record[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return record;
}

void DeleteRegistrations() {
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Wendral\\PlumixPlayerActiveX");
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Wendral\\PlumixPlayerPlugin");
}

}  // namespace

std::wstring StandinRecordPath(const std::wstring& path) { return path + L".txt"; }

std::map<std::string, std::string> WaitForStandinRecord(const std::wstring& path) {
  std::wstring recordPath = StandinRecordPath(path);
  for (int poll = 0; poll < kMostPolls; ++poll) {
    if (FileExists(recordPath)) return ParseRecord(ReadFileBytes(recordPath));
    Sleep(kPollIntervalMs);
  }
  return {};
}

bool WaitForStandinExit(const std::map<std::string, std::string>& record) {
  auto id = record.find("process-id");
  if (id == record.end()) return false;
  UniqueKernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, std::stoul(id->second)));
  // A process that has already ended and been released cannot be opened.
  if (!process.valid()) return true;
  return WaitForSingleObject(process.get(), kLongestExitWaitMs) == WAIT_OBJECT_0;
}

// Manual reset: once released, it stays set for any stand-in still starting.
StandinHold::StandinHold() : event_(CreateEventW(nullptr, TRUE, FALSE, kHoldEventName)) {}

StandinHold::~StandinHold() { Release(); }

void StandinHold::Release() { SetEvent(event_.get()); }

ScopedPluginRegistrations::ScopedPluginRegistrations() { DeleteRegistrations(); }

ScopedPluginRegistrations::~ScopedPluginRegistrations() { DeleteRegistrations(); }

std::wstring RegisteredPluginVersion(const std::wstring& variant) {
  std::wstring key = L"Software\\Wendral\\PlumixPlayer" + variant;
  wchar_t value[512] = {};
  DWORD size = sizeof(value);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"Version", RRF_RT_REG_SZ, nullptr, value,
                   &size) != ERROR_SUCCESS) {
    return std::wstring();
  }
  return value;
}
