// Stand-in for the Plumix Player installer in tests and the demo. It is the
// content of signed packages: the update service writes it as
// "PlumixPlayerInstaller.exe" and starts it. It
//  - records how it was started in "<its own path>.txt" (UTF-8 lines
//    "command-line=...", "process-id=..." and, when it registered a version,
//    "registered=<key> <version>"); the file appears complete at once;
//  - when its own file ends with a variant trailer (see brand-standin) and
//    its command line asks to "-install", registers the fixed file version of
//    its own VERSIONINFO resource under HKEY_LOCAL_MACHINE
//    "Software\Wendral\PlumixPlayer<variant>" `Version`, as a real
//    installation registers the version it installs. It is built like the
//    service, so it writes the registry view the service reads;
//  - when the event "PlumixStandinInstallerHold" exists, waits (at most a
//    minute) until it is set, so a test can see that nobody waits for it.
#include <windows.h>

#include <string>

#include "common/unique_handle.h"
#include "common/wide_text.h"

namespace {

const char kTrailerMark[] = "PLUMIX-STANDIN-VARIANT ";
const DWORD kTrailerWindow = 512;
const DWORD kLongestHoldMs = 60 * 1000;

std::wstring OwnPath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

// The last bytes of the file, where a trailer would be.
std::string ReadFileTail(const std::wstring& path) {
  UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size = {};
  if (!file.valid() || !GetFileSizeEx(file.get(), &size)) return std::string();
  DWORD window = size.QuadPart < kTrailerWindow ? static_cast<DWORD>(size.QuadPart) : kTrailerWindow;
  LARGE_INTEGER start = {};
  start.QuadPart = size.QuadPart - window;
  std::string tail(window, '\0');
  DWORD read = 0;
  if (!SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN) ||
      !ReadFile(file.get(), &tail[0], window, &read, nullptr)) {
    return std::string();
  }
  tail.resize(read);
  return tail;
}

// "ActiveX" from the trailer "PLUMIX-STANDIN-VARIANT ActiveX".
bool ReadVariantTrailer(const std::wstring& path, std::wstring& variant) {
  std::string tail = ReadFileTail(path);
  size_t mark = tail.rfind(kTrailerMark);
  if (mark == std::string::npos) return false;
  size_t start = mark + sizeof(kTrailerMark) - 1;
  std::string text = tail.substr(start, tail.find_first_of("\r\n", start) - start);
  if (text != "ActiveX" && text != "Plugin") return false;
  return Utf8ToWide(text.c_str(), variant);
}

// "11.2.3.4" from the fixed file version of the file's VERSIONINFO resource.
bool ReadFileVersion(const std::wstring& path, std::wstring& version) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return false;
  std::string block(size, '\0');
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixedSize = 0;
  if (!GetFileVersionInfoW(path.c_str(), 0, size, &block[0]) ||
      !VerQueryValueW(&block[0], L"\\", reinterpret_cast<void**>(&fixed), &fixedSize) ||
      fixedSize < sizeof(VS_FIXEDFILEINFO)) {
    return false;
  }
  version = std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." +
            std::to_wstring(LOWORD(fixed->dwFileVersionMS)) + L"." +
            std::to_wstring(HIWORD(fixed->dwFileVersionLS)) + L"." +
            std::to_wstring(LOWORD(fixed->dwFileVersionLS));
  return true;
}

bool RegisterVersion(const std::wstring& key, const std::wstring& version) {
  UniqueRegKey handle;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                      handle.receive(), nullptr) != ERROR_SUCCESS) {
    return false;
  }
  DWORD bytes = static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t));
  return RegSetValueExW(handle.get(), L"Version", 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(version.c_str()), bytes) == ERROR_SUCCESS;
}

// Writes the record under a temporary name and renames it, so that a reader
// never sees half of it.
void WriteRecord(const std::wstring& path, const std::wstring& text) {
  ByteString utf8;
  if (!WideToUtf8(text.c_str(), utf8)) return;
  std::wstring partial = path + L".partial";
  {
    UniqueFileHandle file(CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file.valid() ||
        !WriteFile(file.get(), utf8.c_str(), static_cast<DWORD>(utf8.length()), &written, nullptr)) {
      return;
    }
  }
  MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

void WaitWhileHeld() {
  UniqueKernelHandle hold(OpenEventW(SYNCHRONIZE, FALSE, L"PlumixStandinInstallerHold"));
  if (hold.valid()) WaitForSingleObject(hold.get(), kLongestHoldMs);
}

}  // namespace

int wmain() {
  std::wstring self = OwnPath();
  std::wstring commandLine = GetCommandLineW();
  std::wstring record = L"command-line=" + commandLine + L"\r\nprocess-id=" +
                        std::to_wstring(GetCurrentProcessId()) + L"\r\n";
  std::wstring variant;
  std::wstring version;
  if (commandLine.find(L" -install") != std::wstring::npos &&
      ReadVariantTrailer(self, variant) && ReadFileVersion(self, version)) {
    std::wstring key = L"Software\\Wendral\\PlumixPlayer" + variant;
    if (RegisterVersion(key, version)) record += L"registered=" + key + L" " + version + L"\r\n";
  }
  WriteRecord(self + L".txt", record);
  WaitWhileHeld();
  return 0;
}
