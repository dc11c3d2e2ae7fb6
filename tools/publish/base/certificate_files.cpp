#include "base/certificate_files.h"

#include <openssl/err.h>
#include <openssl/pem.h>

#include "base/file_bytes.h"
#include "base/openssl_errors.h"

namespace {

// Certificate and key files are small; this only bounds a wrong argument.
constexpr uint64_t kMostCertificateFileBytes = 1024 * 1024;

bool ReadSmallFile(const std::string& path, std::string& bytes, std::string& error) {
  return ReadFileBytes(path, kMostCertificateFileBytes, bytes, error);
}

// An encrypted key fails instead of prompting on the terminal.
int NoPassword(char*, int, int, void*) { return 0; }

BioOwner MemoryBio(const std::string& bytes) {
  return BioOwner(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
}

}  // namespace

bool ReadDerCertificate(const std::string& path, X509Owner& certificate, std::string& error) {
  std::string bytes;
  if (!ReadSmallFile(path, bytes, error)) return false;
  const unsigned char* cursor = reinterpret_cast<const unsigned char*>(bytes.data());
  certificate.reset(d2i_X509(nullptr, &cursor, static_cast<long>(bytes.size())));
  if (!certificate ||
      cursor != reinterpret_cast<const unsigned char*>(bytes.data()) + bytes.size()) {
    certificate.reset();
    TakeOpenSslErrors();
    error = "not a DER certificate";
    return false;
  }
  return true;
}

bool ReadPemCertificates(const std::string& path, std::vector<X509Owner>& certificates,
                         std::string& error) {
  std::string bytes;
  if (!ReadSmallFile(path, bytes, error)) return false;
  BioOwner in = MemoryBio(bytes);
  certificates.clear();
  while (X509* certificate = PEM_read_bio_X509(in.get(), nullptr, nullptr, nullptr)) {
    certificates.emplace_back(certificate);
  }
  // Reading ends with "no start line" when no certificate block is left;
  // anything else is a block that does not read.
  unsigned long last = ERR_peek_last_error();
  bool atEnd = ERR_GET_LIB(last) == ERR_LIB_PEM && ERR_GET_REASON(last) == PEM_R_NO_START_LINE;
  std::string reason = TakeOpenSslErrors();
  if (!atEnd) {
    error = "certificate block " + std::to_string(certificates.size() + 1) +
            " does not read (" + reason + ")";
    certificates.clear();
    return false;
  }
  if (certificates.empty()) {
    error = "no PEM certificate in the file";
    return false;
  }
  return true;
}

bool ReadPemPrivateKey(const std::string& path, PrivateKeyOwner& key, std::string& error) {
  std::string bytes;
  if (!ReadSmallFile(path, bytes, error)) return false;
  BioOwner in = MemoryBio(bytes);
  key.reset(PEM_read_bio_PrivateKey(in.get(), nullptr, NoPassword, nullptr));
  if (!key) {
    TakeOpenSslErrors();
    error = "no unencrypted PEM private key in the file";
    return false;
  }
  return true;
}
