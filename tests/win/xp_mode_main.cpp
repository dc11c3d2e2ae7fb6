#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/unique_handle.h"

// Runs this program's tests in a process that Wine reports as Windows XP, so
// that the operations choose Task Scheduler 1.0. Wine reads the version of a
// program from HKCU\Software\Wine\AppDefaults\<program>\Version when the
// process starts: the program sets that value for its own name, runs itself
// again with the same command line, and removes the value afterwards.

namespace {

const wchar_t kChildMark[] = L"PLUMIX_XP_MODE_CHILD";

bool ReportedAsWindowsXp() {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof(version);
  return GetVersionExA(&version) && version.dwMajorVersion == 5;
}

std::wstring ModulePath() {
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::wstring(path, length);
}

// The AppDefaults key of this program; created and removed by this run.
class XpModeSetting {
 public:
  explicit XpModeSetting(const std::wstring& programName) {
    keyPath_ = L"Software\\Wine\\AppDefaults\\" + programName;
    DWORD disposition = 0;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, keyPath_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        key_.receive(), &disposition) != ERROR_SUCCESS) {
      return;
    }
    createdKey_ = disposition == REG_CREATED_NEW_KEY;
    // A 64-bit program cannot be an XP (5.1) program; Wine offers XP x64.
    const wchar_t* version = sizeof(void*) == 8 ? L"winxp64" : L"winxp";
    set_ = RegSetValueExW(key_.get(), L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                          static_cast<DWORD>((wcslen(version) + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
  }
  ~XpModeSetting() {
    if (!key_.valid()) return;
    RegDeleteValueW(key_.get(), L"Version");
    key_.reset();
    if (createdKey_) RegDeleteKeyW(HKEY_CURRENT_USER, keyPath_.c_str());
  }
  XpModeSetting(const XpModeSetting&) = delete;
  XpModeSetting& operator=(const XpModeSetting&) = delete;

  bool set() const { return set_; }

 private:
  std::wstring keyPath_;
  UniqueRegKey key_;
  bool createdKey_ = false;
  bool set_ = false;
};

// This program again, as Windows XP, with the same command line and standard
// streams; its exit code.
int RunAsWindowsXp() {
  std::wstring path = ModulePath();
  XpModeSetting setting(path.substr(path.find_last_of(L'\\') + 1));
  if (!setting.set()) {
    fprintf(stderr, "cannot set the Windows XP mode of this program\n");
    return 1;
  }
  SetEnvironmentVariableW(kChildMark, L"1");
  std::wstring commandLine = GetCommandLineW();
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process)) {
    fprintf(stderr, "cannot run this program again: error %lu\n", GetLastError());
    return 1;
  }
  UniqueKernelHandle thread(process.hThread);
  UniqueKernelHandle child(process.hProcess);
  WaitForSingleObject(child.get(), INFINITE);
  DWORD exitCode = 1;
  GetExitCodeProcess(child.get(), &exitCode);
  return static_cast<int>(exitCode);
}

}  // namespace

int main(int argc, char** argv) {
  if (!ReportedAsWindowsXp()) {
    if (GetEnvironmentVariableW(kChildMark, nullptr, 0) != 0) {
      fprintf(stderr, "Wine did not report Windows XP to this program\n");
      return 1;
    }
    return RunAsWindowsXp();
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
