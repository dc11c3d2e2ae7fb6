// The platform floor of an install cycle, for the benchmark: the least a
// program built like the service has to do to get a verified package. It
// fetches one URL path over plain HTTP with a bare WinHTTP loop into a file,
// reads the file back and checks it with one CryptVerifyMessageSignature
// call (crypt32 linked directly), which also extracts the content. Nothing
// else: no manifest, no log, no chain walk, no installer file.
//   bench-floor HOST PATH FILE
// Prints "floor-ms=<milliseconds from the session's opening to the verdict>"
// and exits 0 when the signature verifies, 1 otherwise.
#include <windows.h>
#include <wincrypt.h>
#include <winhttp.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "common/unique_handle.h"

namespace {

bool DownloadToFile(const wchar_t* host, const wchar_t* path, const wchar_t* file) {
  UniqueWinHttpHandle session(WinHttpOpen(L"bench-floor", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                          WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session.valid()) return false;
  UniqueWinHttpHandle connection(WinHttpConnect(session.get(), host, 80, 0));
  if (!connection.valid()) return false;
  UniqueWinHttpHandle request(WinHttpOpenRequest(connection.get(), L"GET", path, nullptr,
                                                 WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                 0));
  if (!request.valid() ||
      !WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                          WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
      !WinHttpReceiveResponse(request.get(), nullptr)) {
    return false;
  }
  UniqueFileHandle out(CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!out.valid()) return false;
  std::vector<BYTE> chunk;
  for (;;) {
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(request.get(), &available)) return false;
    if (available == 0) return out.Close();
    if (chunk.size() < available) chunk.resize(available);
    DWORD read = 0, written = 0;
    if (!WinHttpReadData(request.get(), chunk.data(), available, &read) ||
        !WriteFile(out.get(), chunk.data(), read, &written, nullptr)) {
      return false;
    }
  }
}

bool ReadFileBytes(const wchar_t* file, std::unique_ptr<BYTE[]>& data, DWORD& size) {
  UniqueFileHandle in(CreateFileW(file, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!in.valid()) return false;
  size = GetFileSize(in.get(), nullptr);
  if (size == 0 || size == INVALID_FILE_SIZE) return false;
  data.reset(new BYTE[size]);
  DWORD read = 0;
  return ReadFile(in.get(), data.get(), size, &read, nullptr) && read == size;
}

// One call verifies the signer's signature and copies the content out; the
// package's length bounds the content's.
bool VerifyPackage(const BYTE* package, DWORD size) {
  CRYPT_VERIFY_MESSAGE_PARA parameters = {};
  parameters.cbSize = sizeof(parameters);
  parameters.dwMsgAndCertEncodingType = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
  std::unique_ptr<BYTE[]> content(new BYTE[size]);
  DWORD contentLength = size;
  return CryptVerifyMessageSignature(&parameters, 0, package, size, content.get(), &contentLength,
                                     nullptr) != 0;
}

double Milliseconds(const LARGE_INTEGER& start, const LARGE_INTEGER& end) {
  LARGE_INTEGER frequency = {};
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: bench-floor HOST PATH FILE\n");
    return 2;
  }
  LARGE_INTEGER start = {}, end = {};
  QueryPerformanceCounter(&start);
  std::unique_ptr<BYTE[]> package;
  DWORD size = 0;
  bool verified = DownloadToFile(argv[1], argv[2], argv[3]) &&
                  ReadFileBytes(argv[3], package, size) && VerifyPackage(package.get(), size);
  QueryPerformanceCounter(&end);
  std::printf("floor-ms=%.1f verified=%d bytes=%lu\n", Milliseconds(start, end), verified ? 1 : 0,
              static_cast<unsigned long>(size));
  return verified ? 0 : 1;
}
