#include "verify/package_verifier.h"

#include <cstring>
#include <utility>

#include "verify/bound_handle.h"
#include "verify/content_digest.h"

const uint32_t MaxChainLookups = 32;

namespace {

// CERT_STORE_SIGNATURE_FLAG | CERT_STORE_TIME_VALIDITY_FLAG: the issuer's key
// made the subject's signature, and now lies within the subject's validity.
constexpr DWORD kLinkChecks = CERT_STORE_SIGNATURE_FLAG | CERT_STORE_TIME_VALIDITY_FLAG;

// Whether issuer signed subject and subject is valid now. A check the call
// leaves failed sets a last-error value that names it.
bool LinkVerifies(const CryptFunctionTable& functions, PCCERT_CONTEXT subject,
                  PCCERT_CONTEXT issuer) {
  DWORD flags = kLinkChecks;
  if (!functions.verifySubjectCertificateContext(subject, issuer, &flags)) return false;
  if (flags & CERT_STORE_SIGNATURE_FLAG) {
    SetLastError(static_cast<DWORD>(TRUST_E_CERT_SIGNATURE));
    return false;
  }
  if (flags & CERT_STORE_TIME_VALIDITY_FLAG) {
    SetLastError(static_cast<DWORD>(CERT_E_EXPIRED));
    return false;
  }
  return true;
}

// Whether the certificate's basic constraints mark it as a certification
// authority. A certificate without them is an end entity.
#if defined(_M_IX86) || defined(__i386__)
static_assert(sizeof(CERT_BASIC_CONSTRAINTS2_INFO) == 12,
              "the decoded basic constraints fill the buffer whose size is passed");
static_assert(sizeof(CRYPT_VERIFY_MESSAGE_PARA) == 20,
              "crypt32 reads the verification parameters by their size, 20 bytes");
#endif

bool IsCertificationAuthority(const CryptFunctionTable& functions, PCCERT_CONTEXT certificate) {
  const CERT_INFO& info = *certificate->pCertInfo;
  PCERT_EXTENSION extension =
      functions.findExtension(szOID_BASIC_CONSTRAINTS2, info.cExtension, info.rgExtension);
  CERT_BASIC_CONSTRAINTS2_INFO constraints = {};
  DWORD size = sizeof(constraints);
  if (extension == nullptr ||
      !functions.decodeObject(kMessageEncoding, X509_BASIC_CONSTRAINTS2, extension->Value.pbData,
                              extension->Value.cbData, 0, &constraints, &size) ||
      !constraints.fCA) {
    SetLastError(static_cast<DWORD>(TRUST_E_BASIC_CONSTRAINTS));
    return false;
  }
  return true;
}

// The lookup found the certificate itself: a self-issued chain top. The
// message's store may hand out a new context for the same certificate, so
// the encodings are compared.
bool SameCertificate(PCCERT_CONTEXT a, PCCERT_CONTEXT b) {
  return a == b || (a->cbCertEncoded == b->cbCertEncoded &&
                    std::memcmp(a->pbCertEncoded, b->pbCertEncoded, a->cbCertEncoded) == 0);
}

// Climbs from the signer's certificate through the message's certificates
// until no issuer is found or a self-issued certificate is reached, checking
// every link, and leaves the certificate reached in current. Of the
// MaxChainLookups lookups, the last may not be needed: a walk that ends only
// there, or would go on past it (a chain of 31 links or more), is refused
// rather than judged on a top that was never reached.
bool WalkChain(const CryptFunctionTable& functions, HCERTSTORE store, BoundCertificate& current) {
  for (uint32_t lookup = 1; lookup < MaxChainLookups; ++lookup) {
    BoundCertificate found(functions.freeCertificateContext,
                           functions.findCertificateInStore(store, kMessageEncoding, 0,
                                                            CERT_FIND_ISSUER_OF, current.get(),
                                                            nullptr));
    if (!found.valid() || SameCertificate(found.get(), current.get())) return true;
    if (!IsCertificationAuthority(functions, found.get())) return false;
    if (!LinkVerifies(functions, current.get(), found.get())) return false;
    current = std::move(found);
  }
  SetLastError(static_cast<DWORD>(CERT_E_CHAINING));
  return false;
}

}  // namespace

PackageVerifier::PackageVerifier(const uint8_t* issuer, uint32_t issuerLength,
                                 const PlatformAccess& platform)
    : platform_(platform), issuer_(issuer), issuerLength_(issuerLength) {}

bool PackageVerifier::Bind() {
  if (functions_) return true;
  functions_.reset(new CryptFunctionTable);
  if (BindCryptFunctions(*functions_, platform_)) return true;
  DWORD lastError = GetLastError();
  functions_.reset();
  SetLastError(lastError);
  return false;
}

bool PackageVerifier::VerifyAndExtract(const uint8_t* package, uint32_t packageLength,
                                       std::unique_ptr<uint8_t[]>& content,
                                       uint32_t& contentLength) {
  if (!Bind()) return false;
  const CryptFunctionTable& functions = *functions_;
  content.reset();
  contentLength = 0;
  // crypt32 wants a readable pointer even for an empty package.
  static const uint8_t kNoBytes = 0;
  const BYTE* bytes = package != nullptr ? package : &kNoBytes;

  CRYPT_VERIFY_MESSAGE_PARA parameters = {};
  parameters.cbSize = sizeof(parameters);
  parameters.dwMsgAndCertEncodingType = kMessageEncoding;
  // The content lies inside the message, so the package's length bounds it:
  // one call both verifies the signature and extracts the content. Asking
  // for the content's length first would decode and hash the whole package
  // once more.
  DWORD length = packageLength;
  content.reset(new uint8_t[length == 0 ? 1 : length]);
  BoundCertificate current(functions.freeCertificateContext);
  if (!functions.verifyMessageSignature(&parameters, 0, bytes, packageLength, content.get(),
                                        &length, current.receive())) {
    return false;
  }
  contentLength = length;
  if (!ContentMatchesSignedDigest(functions, bytes, packageLength)) return false;

  BoundCertificateStore store(functions.closeStore,
                              functions.getMessageCertificates(kMessageEncoding, 0, 0, bytes,
                                                               packageLength));
  if (!store.valid()) return false;
  BoundCertificate issuer(functions.freeCertificateContext,
                          functions.createCertificateContext(kMessageEncoding, issuer_,
                                                             issuerLength_));
  if (!issuer.valid()) return false;
  if (!WalkChain(functions, store.get(), current)) return false;
  return LinkVerifies(functions, current.get(), issuer.get());
}
