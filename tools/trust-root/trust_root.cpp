// Adds a DER certificate to, or removes it from, the LOCAL_MACHINE "ROOT"
// store of the Windows installation it runs in (for tests: a Wine prefix).
//   trust-root.exe add|remove CERTIFICATE.der
// Exit code 0 on success, 1 on failure (with the Windows error), 2 on usage.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "common/unique_handle.h"

namespace {

struct CertStoreTraits {
  using Handle = HCERTSTORE;
  static Handle Invalid() { return nullptr; }
  static BOOL Close(Handle h) { return ::CertCloseStore(h, 0); }
};

struct CertContextTraits {
  using Handle = PCCERT_CONTEXT;
  static Handle Invalid() { return nullptr; }
  static BOOL Close(Handle h) { return ::CertFreeCertificateContext(h); }
};

using UniqueCertStore = UniqueHandle<CertStoreTraits>;
using UniqueCertContext = UniqueHandle<CertContextTraits>;

int Fail(const char* what) {
  std::fprintf(stderr, "trust-root: %s failed with error %lu\n", what, GetLastError());
  return 1;
}

bool ReadWhole(const wchar_t* path, std::string& bytes) {
  UniqueFileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  char chunk[4096];
  DWORD read = 0;
  while (ReadFile(file.get(), chunk, sizeof(chunk), &read, nullptr) && read > 0) {
    bytes.append(chunk, read);
  }
  return !bytes.empty();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  bool add = argc == 3 && std::wcscmp(argv[1], L"add") == 0;
  bool remove = argc == 3 && std::wcscmp(argv[1], L"remove") == 0;
  if (!add && !remove) {
    std::fprintf(stderr, "usage: trust-root add|remove CERTIFICATE.der\n");
    return 2;
  }
  std::string der;
  if (!ReadWhole(argv[2], der)) return Fail("reading the certificate");
  UniqueCertContext certificate(CertCreateCertificateContext(
      X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()), static_cast<DWORD>(der.size())));
  if (!certificate.valid()) return Fail("decoding the certificate");
  // Wine serves the system ROOT store from a copy that also holds the host's
  // certificates: adding through it reaches the registry, deleting does not.
  // The registry provider reaches the stored certificates themselves.
  UniqueCertStore store(CertOpenStore(add ? CERT_STORE_PROV_SYSTEM_W : CERT_STORE_PROV_SYSTEM_REGISTRY_W,
                                      0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"ROOT"));
  if (!store.valid()) return Fail("opening the LOCAL_MACHINE ROOT store");
  if (add) {
    if (!CertAddCertificateContextToStore(store.get(), certificate.get(),
                                          CERT_STORE_ADD_REPLACE_EXISTING, nullptr)) {
      return Fail("adding the certificate");
    }
    return 0;
  }
  // Removing a certificate that is not there is success: the store ends up
  // without it either way.
  PCCERT_CONTEXT found = CertFindCertificateInStore(store.get(), X509_ASN_ENCODING, 0,
                                                    CERT_FIND_EXISTING, certificate.get(), nullptr);
  // CertDeleteCertificateFromStore frees the context it is given, even on failure.
  if (found != nullptr && !CertDeleteCertificateFromStore(found)) return Fail("removing the certificate");
  return 0;
}
