// The publisher's side of the verifier agreement test: runs the release
// tool's verifier over every file of a folder, now, and prints one line per
// file, "NAME<TAB>accepted<TAB>SHA-256 OF THE CONTENT" or
// "NAME<TAB>refused<TAB>REASON", in file-name order (the same lines as
// service_verdicts.exe).
//   publisher_verdicts ISSUER.der FOLDER
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "base/certificate_files.h"
#include "base/file_bytes.h"
#include "base/sha256.h"
#include "net/download_limits.h"
#include "signature/package_verifier.h"

int main(int argc, char* argv[]) {
  if (argc != 3) {
    std::fputs("usage: publisher_verdicts ISSUER.der FOLDER\n", stderr);
    return 2;
  }
  X509Owner issuer;
  std::string error;
  if (!ReadDerCertificate(argv[1], issuer, error)) {
    std::fprintf(stderr, "%s: %s\n", argv[1], error.c_str());
    return 2;
  }
  std::vector<std::string> names;
  std::error_code listError;
  for (const auto& entry : std::filesystem::directory_iterator(argv[2], listError)) {
    if (entry.is_regular_file()) names.push_back(entry.path().filename().string());
  }
  if (listError) {
    std::fprintf(stderr, "%s: %s\n", argv[2], listError.message().c_str());
    return 2;
  }
  std::sort(names.begin(), names.end());
  time_t now = std::time(nullptr);
  for (const std::string& name : names) {
    std::string package;
    if (!ReadFileBytes(std::string(argv[2]) + "/" + name, kMaxPackageBytes, package, error)) {
      std::printf("%s\tunreadable\n", name.c_str());
      continue;
    }
    PackageVerdict verdict;
    if (VerifyPackage(package, issuer.get(), now, verdict)) {
      std::printf("%s\taccepted\t%s\n", name.c_str(), Sha256Hex(verdict.content).c_str());
    } else {
      std::printf("%s\trefused\t%s\n", name.c_str(), verdict.reason.c_str());
    }
  }
  return 0;
}
