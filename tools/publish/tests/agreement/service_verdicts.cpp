// The service's side of the verifier agreement test: runs the service's
// PackageVerifier over every file of a folder and prints one line per file,
// "NAME<TAB>accepted<TAB>SHA-256 OF THE CONTENT" or "NAME<TAB>refused<TAB>ERROR"
// with the last-error value in hexadecimal, in file-name order.
//   service_verdicts.exe ISSUER.der FOLDER
#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/unique_handle.h"
#include "verify/package_verifier.h"

namespace {

bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
  UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size = {};
  if (!file.valid() || !GetFileSizeEx(file.get(), &size) || size.QuadPart > 0x7FFFFFFF) {
    return false;
  }
  bytes.resize(static_cast<size_t>(size.QuadPart));
  DWORD read = 0;
  return bytes.empty() ||
         (ReadFile(file.get(), &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr) &&
          read == bytes.size());
}

// The SHA-256 of bytes in lower-case hexadecimal (CryptoAPI), "" when it
// cannot be computed.
class Sha256 {
 public:
  Sha256() {
    if (!CryptAcquireContextW(&provider_, nullptr, nullptr, PROV_RSA_AES,
                              CRYPT_VERIFYCONTEXT)) {
      provider_ = 0;
    }
  }
  ~Sha256() {
    if (provider_ != 0) CryptReleaseContext(provider_, 0);
  }
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  std::string Hex(const uint8_t* bytes, uint32_t length) const {
    HCRYPTHASH hash = 0;
    if (provider_ == 0 || !CryptCreateHash(provider_, CALG_SHA_256, 0, 0, &hash)) return "";
    BYTE digest[32];
    DWORD size = sizeof(digest);
    bool done = CryptHashData(hash, bytes, length, 0) &&
                CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0) && size == sizeof(digest);
    CryptDestroyHash(hash);
    std::string text;
    static const char kDigits[] = "0123456789abcdef";
    for (DWORD i = 0; done && i < size; ++i) {
      text += kDigits[digest[i] >> 4];
      text += kDigits[digest[i] & 0xF];
    }
    return text;
  }

 private:
  HCRYPTPROV provider_ = 0;
};

std::vector<std::wstring> ListFiles(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW entry = {};
  UniqueFindHandle search(FindFirstFileW((folder + L"\\*").c_str(), &entry));
  if (!search.valid()) return names;
  do {
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(entry.cFileName);
  } while (FindNextFileW(search.get(), &entry));
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

int wmain(int argc, wchar_t* argv[]) {
  if (argc != 3) {
    std::fputs("usage: service_verdicts.exe ISSUER.der FOLDER\n", stderr);
    return 2;
  }
  std::string issuer;
  if (!ReadWholeFile(argv[1], issuer)) {
    std::fputs("cannot read the issuer certificate\n", stderr);
    return 2;
  }
  Sha256 sha256;
  for (const std::wstring& name : ListFiles(argv[2])) {
    std::string package;
    std::printf("%ls\t", name.c_str());
    if (!ReadWholeFile(std::wstring(argv[2]) + L"\\" + name, package)) {
      std::printf("unreadable\n");
      continue;
    }
    // One verifier per package, as the service makes one per download.
    PackageVerifier verifier(reinterpret_cast<const uint8_t*>(issuer.data()),
                             static_cast<uint32_t>(issuer.size()));
    std::unique_ptr<uint8_t[]> content;
    uint32_t contentLength = 0;
    bool accepted =
        verifier.VerifyAndExtract(reinterpret_cast<const uint8_t*>(package.data()),
                                  static_cast<uint32_t>(package.size()), content, contentLength);
    unsigned long error = GetLastError();
    if (accepted) {
      std::printf("accepted\t%s\n", sha256.Hex(content.get(), contentLength).c_str());
    } else {
      std::printf("refused\t0x%08lX\n", error);
    }
  }
  return 0;
}
