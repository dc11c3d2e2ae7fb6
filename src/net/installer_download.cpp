#include "net/installer_download.h"

#include <windows.h>
#include <winhttp.h>

#include <new>

#include "common/unique_handle.h"
#include "log/install_log.h"
#include "net/download_folder.h"
#include "settings/auto_update_policy.h"
#include "verify/issuer_certificate.h"
#include "verify/package_verifier.h"

const wchar_t kInstallerFileName[] = L"PlumixPlayerInstaller.exe";

namespace {

const wchar_t kUserAgent[] = L"Download Plumix Player Installer/1.0";
const INTERNET_PORT kPackagePort = 80;

// The package path of a variant; null for an unknown variant.
const wchar_t* PackagePath(PluginVariant variant) {
  bool wow64 = AutoUpdatePolicy::RunningOnWow64;
  switch (variant) {
    case PluginVariant::ActiveX:
      return wow64 ? L"/pub/plumixplayer/update/current/sau/11/install/install_all_win_64_ax_sgn.z"
                   : L"/pub/plumixplayer/update/current/sau/11/install/install_all_win_ax_sgn.z";
    case PluginVariant::Plugin:
      return wow64 ? L"/pub/plumixplayer/update/current/sau/11/install/install_all_win_64_pl_sgn.z"
                   : L"/pub/plumixplayer/update/current/sau/11/install/install_all_win_pl_sgn.z";
  }
  return nullptr;
}

// One GET; members close in reverse order: request, connection, session.
struct HttpTransfer {
  UniqueWinHttpHandle session;
  UniqueWinHttpHandle connection;
  UniqueWinHttpHandle request;

  void Close() {
    request.reset();
    connection.reset();
    session.reset();
  }
};

// Plain HTTP on port 80 with the platform's defaults: the package is
// protected by its signature, not by the transfer. Logs one 1214 for any
// failing step.
bool StartTransfer(const wchar_t* path, HttpTransfer& transfer) {
  transfer.session.reset(WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                     WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (transfer.session.valid()) {
    transfer.connection.reset(WinHttpConnect(transfer.session.get(),
                                             AutoUpdatePolicy::PackageHost.c_str(), kPackagePort, 0));
  }
  if (transfer.connection.valid()) {
    transfer.request.reset(WinHttpOpenRequest(transfer.connection.get(), L"GET", path, nullptr,
                                              WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, 0));
  }
  if (!transfer.request.valid() ||
      !WinHttpSendRequest(transfer.request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                          WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
      !WinHttpReceiveResponse(transfer.request.get(), nullptr)) {
    LogEventLastError(LogLevel::Error, 1214);
    return false;
  }
  return true;
}

// Writes the response body to the file chunk by chunk, each chunk as large as
// WinHTTP reports available, until a pass reports no more data.
bool StreamToFile(HINTERNET request, HANDLE file) {
  for (;;) {
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(request, &available)) {
      LogEventLastError(LogLevel::Error, 1209);
      return false;
    }
    if (available == 0) return true;
    std::unique_ptr<uint8_t[]> chunk(new uint8_t[available + 1]());
    DWORD read = 0;
    if (!WinHttpReadData(request, chunk.get(), available, &read)) {
      LogEventLastError(LogLevel::Error, 1211);
      return false;
    }
    DWORD written = 0;
    if (!WriteFile(file, chunk.get(), read, &written, nullptr)) {
      LogEventLastError(LogLevel::Error, 1212);
      return false;
    }
  }
}

// Downloads the package into a fresh temporary folder and reads it back;
// nothing of the folder is left afterwards. data stays empty when the
// read-back finds nothing.
bool FetchPackage(const wchar_t* path, std::unique_ptr<uint8_t[]>& data, uint32_t& size) {
  HttpTransfer transfer;
  if (!StartTransfer(path, transfer)) return false;
  DownloadFolder folder;
  if (!folder.Create()) return false;
  UniqueFileHandle file(CreateFileW(folder.filePath().c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    LogEventLastError(LogLevel::Error, 1207);
    return false;
  }
  if (!StreamToFile(transfer.request.get(), file.get())) return false;
  if (!file.Close()) LogEventLastError(LogLevel::Warning, 1413);
  transfer.Close();
  if (!ReadWholeFile(folder.filePath().c_str(), data, size)) {
    data.reset();
    size = 0;
  }
  folder.Remove();
  return true;
}

// Writes the installer file in the current directory in one call.
bool WriteInstallerFile(const uint8_t* content, uint32_t length) {
  UniqueFileHandle file(CreateFileW(kInstallerFileName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    LogEventLastError(LogLevel::Error, 1215);
    return false;
  }
  DWORD written = 0;
  if (!WriteFile(file.get(), content, length, &written, nullptr) || written != length) {
    LogEventLastError(LogLevel::Error, 1216);
    return false;
  }
  if (!file.Close()) LogEventLastError(LogLevel::Warning, 1417);
  return true;
}

// Accepts the package only through the verifier and writes its content as the
// installer file. Running out of memory here fails without a line.
bool VerifyAndWriteInstaller(const uint8_t* package, uint32_t packageLength) {
  try {
    PackageVerifier verifier(IssuerCertificate, IssuerCertificateLength);
    std::unique_ptr<uint8_t[]> content;
    uint32_t contentLength = 0;
    if (!verifier.VerifyAndExtract(package, packageLength, content, contentLength)) {
      LogEventLastError(LogLevel::Error, 1217);
      return false;
    }
    return WriteInstallerFile(content.get(), contentLength);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace

bool DownloadInstaller(PluginVariant variant) {
  if (variant == PluginVariant::ActiveX) LogEvent(LogLevel::Info, 1600);
  if (variant == PluginVariant::Plugin) LogEvent(LogLevel::Info, 1601);
  const wchar_t* path = PackagePath(variant);
  if (path == nullptr) {
    LogEvent(LogLevel::Error, 1200);
    return false;
  }
  std::unique_ptr<uint8_t[]> package;
  uint32_t packageLength = 0;
  if (!FetchPackage(path, package, packageLength)) return false;
  return VerifyAndWriteInstaller(package.get(), packageLength);
}

bool ReadWholeFile(const wchar_t* path, std::unique_ptr<uint8_t[]>& data, uint32_t& size) {
  UniqueFileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  DWORD fileSize = GetFileSize(file.get(), nullptr);
  if (fileSize == 0 || fileSize == INVALID_FILE_SIZE) return false;
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[fileSize]);
  DWORD total = 0;
  while (total < fileSize) {
    DWORD read = 0;
    if (!ReadFile(file.get(), buffer.get() + total, fileSize - total, &read, nullptr) || read == 0) {
      break;
    }
    total += read;
  }
  if (total != fileSize) return false;
  data = std::move(buffer);
  size = fileSize;
  return true;
}
