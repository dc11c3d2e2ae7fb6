#include "settings/auto_update_policy.h"

#include <windows.h>

#include <new>

#include "common/proc_address.h"
#include "common/utf8_repair.h"
#include "common/wide_text.h"
#include "files/windows_file_manager.h"
#include "log/install_log.h"
#include "settings/settings_file.h"
#include "settings/settings_keys.h"

const wchar_t kPrimaryDownloadHost[] = L"update.quorvel.com";
const wchar_t kSecondaryDownloadHost[] = L"download.quorvel.com";

ServiceContext* CurrentServiceContext = nullptr;

namespace {

// The store of the settings file at its fixed location.
std::unique_ptr<SettingsFile> LoadSettingsFile() {
  std::unique_ptr<VUZI::WindowsFileManager> fileManager(new VUZI::WindowsFileManager);
  return std::unique_ptr<SettingsFile>(new SettingsFile(fileManager->GetSettingsFilePath()));
}

// Sets host from the UTF-8 domain; on a failed conversion the host keeps its
// value and the event is logged with the error number. Ill-formed bytes
// become U+FFFD, which no host name holds, on every Windows version: the
// conversion alone would drop them on Windows XP and could so join the text
// around them into the name of another host.
void SetHostFromDomain(const ByteString& domain, std::wstring& host, int32_t failureEvent) {
  std::wstring converted;
  if (Utf8ToWide(RepairedUtf8(domain.c_str()).c_str(), converted)) {
    host = converted;
  } else {
    LogEventLastError(LogLevel::Error, failureEvent);
  }
}

void ApplyServerDomain(const ByteString& domain, AutoUpdatePolicy& policy) {
  SetHostFromDomain(domain, policy.PackageHost, 1237);
  SetHostFromDomain(domain, policy.ManifestHost, 1238);
  if (policy.PackageHost.empty()) {
    policy.PackageHost = kSecondaryDownloadHost;
  } else {
    LogEventText(LogLevel::Info, 1628, policy.PackageHost);
  }
  if (policy.ManifestHost.empty()) {
    policy.ManifestHost = kPrimaryDownloadHost;
  } else {
    LogEventText(LogLevel::Info, 1629, policy.ManifestHost);
  }
}

}  // namespace

bool SetAutoUpdateMode(AutoUpdateMode mode) {
  const char* silent;
  const char* disable;
  switch (mode) {
    case AutoUpdateMode::Silent:
      silent = "1", disable = "0";
      break;
    case AutoUpdateMode::Notify:
      silent = "0", disable = "0";
      break;
    case AutoUpdateMode::Disable:
      silent = "0", disable = "1";
      break;
    default:
      return false;
  }
  try {
    std::unique_ptr<SettingsFile> settings = LoadSettingsFile();
    settings->Set(kSilentAutoUpdateEnable, silent);
    settings->Set(kAutoUpdateDisable, disable);
    if (settings->Save()) return true;
    LogEventLastError(LogLevel::Error, 1310);
    return false;
  } catch (const std::bad_alloc&) {
    LogEvent(LogLevel::Warning, 1418);
    return false;
  }
}

bool IsSilentAutoUpdateEnabled() {
  bool enabled = false;
  try {
    std::unique_ptr<SettingsFile> settings = LoadSettingsFile();
    enabled = ParseSettingBool(settings->Get(kSilentAutoUpdateEnable));
    if (enabled) LogEvent(LogLevel::Info, 1607);
  } catch (const std::bad_alloc&) {
    LogEvent(LogLevel::Warning, 1419);
  }
  return enabled;
}

bool LoadAutoUpdatePolicy(AutoUpdatePolicy& policy) {
  try {
    std::unique_ptr<SettingsFile> settings = LoadSettingsFile();
    if (ParseSettingBool(settings->Get(kVerboseLogging))) VerboseLogging = true;
    const ByteString& domain = settings->Get(kServerDomain);
    if (!domain.empty()) ApplyServerDomain(domain, policy);
    policy.AutoUpdateDisabled = ParseSettingBool(settings->Get(kAutoUpdateDisable));
    LogEvent(LogLevel::Info, policy.AutoUpdateDisabled ? 1613 : 1614);
    policy.SilentAutoUpdateEnabled = ParseSettingBool(settings->Get(kSilentAutoUpdateEnable));
    LogEvent(LogLevel::Info, policy.SilentAutoUpdateEnabled ? 1615 : 1616);
    return true;
  } catch (const std::bad_alloc&) {
    LogEvent(LogLevel::Warning, 1420);
    return false;
  }
}

int32_t IsWow64() {
  using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, PBOOL);
  HMODULE kernel = GetModuleHandleW(L"kernel32");
  if (kernel == nullptr) return 0;
  auto isWow64Process = LookUpFunction<IsWow64ProcessFunction>(kernel, "IsWow64Process");
  if (isWow64Process == nullptr) return 0;
  BOOL wow64 = FALSE;
  isWow64Process(GetCurrentProcess(), &wow64);
  return wow64;
}

std::unique_ptr<ServiceContext> CreateServiceContext(const std::wstring& modulePath,
                                                     const PlatformAccess& platform) {
  std::unique_ptr<ServiceContext> context(
      new ServiceContext{modulePath, AutoUpdatePolicy(), platform});
  context->policy.RunningOnWow64 = IsWow64() == 1;
  if (!LoadAutoUpdatePolicy(context->policy)) LogEventLastError(LogLevel::Error, 1233);
  return context;
}
