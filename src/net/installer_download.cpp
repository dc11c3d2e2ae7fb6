#include "net/installer_download.h"

#include <windows.h>
#include <winhttp.h>

#include <new>
#include <vector>

#include "common/unique_handle.h"
#include "common/unsigned_decimal.h"
#include "log/install_log.h"
#include "net/download_folder.h"
#include "net/wait_timeouts.h"
#include "update/cycle_watchdog.h"
#include "verify/issuer_certificate.h"
#include "verify/package_verifier.h"

const wchar_t kInstallerFileName[] = L"PlumixPlayerInstaller.exe";

namespace {

const wchar_t kUserAgent[] = L"Download Plumix Player Installer/1.0";
const INTERNET_PORT kPackagePort = 80;

// The package path of a variant; null for an unknown variant.
const wchar_t* PackagePath(PluginVariant variant, bool wow64) {
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

// The bounds of one transfer: the bytes that may arrive, and the time since
// the request went out. The tick counter wraps after 49 days, far beyond the
// bound, so the difference of two readings stays right.
class TransferBounds {
 public:
  explicit TransferBounds(const ServiceBounds& bounds)
      : maxBytes_(bounds.maxPackageBytes),
        maxMilliseconds_(uint64_t{bounds.downloadSeconds} * kMillisecondsPerSecond),
        started_(GetTickCount()) {}

  // False after logging 1209 with ERROR_FILE_TOO_LARGE when length more
  // bytes would pass the byte bound, or with ERROR_TIMEOUT when the time
  // bound has passed.
  bool Admit(uint64_t length) const {
    DWORD passed = ERROR_SUCCESS;
    if (received_ + length > maxBytes_) passed = ERROR_FILE_TOO_LARGE;
    else if (GetTickCount() - started_ > maxMilliseconds_) passed = ERROR_TIMEOUT;
    if (passed == ERROR_SUCCESS) return true;
    SetLastError(passed);
    LogEventLastError(LogLevel::Error, 1209);
    return false;
  }

  void Count(DWORD bytes) { received_ += bytes; }

 private:
  uint64_t maxBytes_;
  uint64_t maxMilliseconds_;
  DWORD started_;
  uint64_t received_ = 0;
};

// One GET; members close in reverse order: request, connection, session.
struct HttpTransfer {
  UniqueWinHttpHandle session;
  UniqueWinHttpHandle connection;
  UniqueWinHttpHandle request;
};

// Plain HTTP on port 80: the package is protected by its signature, not by
// the transfer. The platform's time-outs hold the way to the response
// headers within headersSeconds. Logs one 1214 for any failing step.
bool StartTransfer(const std::wstring& host, const wchar_t* path, uint32_t headersSeconds,
                   HttpTransfer& transfer) {
  transfer.session.reset(WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                     WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (transfer.session.valid()) {
    transfer.connection.reset(
        WinHttpConnect(transfer.session.get(), host.c_str(), kPackagePort, 0));
  }
  if (transfer.connection.valid()) {
    transfer.request.reset(WinHttpOpenRequest(transfer.connection.get(), L"GET", path, nullptr,
                                              WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, 0));
  }
  if (transfer.request.valid()) SetWaitTimeouts(transfer.request.get(), headersSeconds);
  if (!transfer.request.valid() ||
      !WinHttpSendRequest(transfer.request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                          WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
      !WinHttpReceiveResponse(transfer.request.get(), nullptr)) {
    LogEventLastError(LogLevel::Error, 1214);
    return false;
  }
  return true;
}

// The length the response announces; 0 when it announces none (the body
// then ends with the connection). A length beyond 32 bits reads as
// 4294967295, however many characters it is written in: leading zeros must
// not take a length past the early refusal.
uint32_t AnnouncedLength(HINTERNET request) {
  DWORD size = 0;
  WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX,
                      WINHTTP_NO_OUTPUT_BUFFER, &size, WINHTTP_NO_HEADER_INDEX);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return 0;
  std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX,
                           text.data(), &size, WINHTTP_NO_HEADER_INDEX)) {
    return 0;
  }
  return ToUnsigned32(text.data());
}

// Writes the response body to the file chunk by chunk, each chunk as large as
// WinHTTP reports available, until a pass reports no more data or a bound is
// passed. A chunk that would pass the byte bound is not read.
bool StreamToFile(HINTERNET request, DownloadFolder& folder, TransferBounds& bounds) {
  for (;;) {
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(request, &available)) {
      LogEventLastError(LogLevel::Error, 1209);
      return false;
    }
    if (available == 0) return true;
    if (!bounds.Admit(available)) return false;
    std::unique_ptr<uint8_t[]> chunk(new uint8_t[available + 1]());
    DWORD read = 0;
    if (!WinHttpReadData(request, chunk.get(), available, &read)) {
      LogEventLastError(LogLevel::Error, 1211);
      return false;
    }
    bounds.Count(read);
    if (!folder.WriteToFile(chunk.get(), read)) {
      LogEventLastError(LogLevel::Error, 1212);
      return false;
    }
  }
}

// Requests the package and streams its body into the folder's download
// file, within the bounds: the response headers in packageHeadersSeconds, the
// whole body in downloadSeconds, both from the request on. A body announced
// beyond the byte bound is refused before anything is created on disk.
bool TransferPackage(const ServiceContext& context, const wchar_t* path, DownloadFolder& folder) {
  const ServiceBounds& limits = context.platform.bounds;
  TransferBounds bounds(limits);
  CycleWatchdog::NetworkWait wait(context.watchdog, limits.packageHeadersSeconds);
  HttpTransfer transfer;
  if (!StartTransfer(context.policy.PackageHost, path, limits.packageHeadersSeconds, transfer)) {
    return false;
  }
  wait.Extend(limits.downloadSeconds);
  if (!bounds.Admit(AnnouncedLength(transfer.request.get()))) return false;
  if (!folder.Create() || !folder.OpenDownloadFile()) return false;
  if (!StreamToFile(transfer.request.get(), folder, bounds)) return false;
  folder.CloseDownloadFile();
  return true;
}

// Downloads the package into a fresh temporary folder and reads it back;
// nothing of the folder is left afterwards. data stays empty when the
// read-back finds nothing.
bool FetchPackage(const ServiceContext& context, const wchar_t* path,
                  std::unique_ptr<uint8_t[]>& data, uint32_t& size) {
  DownloadFolder folder(context.platform, context.watchdog);
  if (!TransferPackage(context, path, folder)) return false;
  if (!ReadWholeFile(folder.filePath().c_str(), data, size)) {
    data.reset();
    size = 0;
  }
  folder.Remove();
  return true;
}

// Removes what a failed write left of the installer file, so that no part of
// an installer waits in the current directory to be started. The removal
// comes before the failure is logged: on a full disk it frees the room that
// the log line needs.
void RemovePartialInstaller(UniqueFileHandle& file) {
  DWORD writeError = GetLastError();
  file.reset();
  DeleteFileW(kInstallerFileName);
  SetLastError(writeError);
}

// Writes the installer file in the current directory.
bool WriteInstallerFile(const uint8_t* content, uint32_t length, const PlatformAccess& platform) {
  UniqueFileHandle file(CreateFileW(kInstallerFileName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    LogEventLastError(LogLevel::Error, 1215);
    return false;
  }
  if (!WriteWhole(platform, file.get(), content, length)) {
    RemovePartialInstaller(file);
    LogEventLastError(LogLevel::Error, 1216);
    return false;
  }
  if (!file.Close()) LogEventLastError(LogLevel::Warning, 1417);
  return true;
}

// Accepts the package only through the verifier and writes its content as the
// installer file. Running out of memory here fails without a line.
bool VerifyAndWriteInstaller(const uint8_t* package, uint32_t packageLength,
                             const PlatformAccess& platform) {
  try {
    PackageVerifier verifier(IssuerCertificate, IssuerCertificateLength, platform);
    std::unique_ptr<uint8_t[]> content;
    uint32_t contentLength = 0;
    if (!verifier.VerifyAndExtract(package, packageLength, content, contentLength)) {
      LogEventLastError(LogLevel::Error, 1217);
      return false;
    }
    return WriteInstallerFile(content.get(), contentLength, platform);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace

bool DownloadInstaller(PluginVariant variant, const ServiceContext& context) {
  if (variant == PluginVariant::ActiveX) LogEvent(LogLevel::Info, 1600);
  if (variant == PluginVariant::Plugin) LogEvent(LogLevel::Info, 1601);
  const wchar_t* path = PackagePath(variant, context.policy.RunningOnWow64);
  if (path == nullptr) {
    LogEvent(LogLevel::Error, 1200);
    return false;
  }
  std::unique_ptr<uint8_t[]> package;
  uint32_t packageLength = 0;
  if (!FetchPackage(context, path, package, packageLength)) return false;
  return VerifyAndWriteInstaller(package.get(), packageLength, context.platform);
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
