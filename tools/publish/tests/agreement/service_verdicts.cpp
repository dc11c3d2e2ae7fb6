// The service's side of the verifier agreement test: runs the service's
// PackageVerifier over every file of a folder and prints one line per file,
// "NAME<TAB>accepted" or "NAME<TAB>refused<TAB>ERROR" with the last-error
// value in hexadecimal, in file-name order.
//   service_verdicts.exe ISSUER.der FOLDER
#include <windows.h>

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
      std::printf("accepted\n");
    } else {
      std::printf("refused\t0x%08lX\n", error);
    }
  }
  return 0;
}
