#pragma once

#include <openssl/x509.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "base/openssl_owners.h"

// The most issuer lookups the service makes while it walks up a package's
// chain; a walk that needs the last of them, or more, is refused.
constexpr uint32_t kMaxChainLookups = 32;

// What a verification found.
struct PackageVerdict {
  std::string reason;   // why the package was refused; "" when it was accepted
  std::string content;  // the installer, when it was accepted
  // The chain that was walked: the signer first, then each issuer found in
  // the package, up to the certificate checked against the issuer.
  std::vector<X509Owner> chain;
};

// Verifies a package (the whole downloaded file) under the clients' rules,
// against issuer, at time now, and refuses whatever any client would refuse:
//  - a PKCS #7 SignedData message in DER with attached data content and
//    exactly one signer, named by issuer and serial number, whose
//    certificate is in the message; RSA keys with public exponents of at
//    most 32 bits (issuer included), certificates signed with RSA over SHA-1
//    or SHA-2, SHA-1/256/384/512 digests;
//  - the signer's signature verifies, and the content matches the signed
//    messageDigest attribute (exactly one, with one value) when there are
//    signed attributes;
//  - the walk: from the signer, each issuer found in the message (see
//    issuer_rule.h) must be a certification authority by its basic
//    constraints and must have signed the certificate below it, which must be
//    valid now; the walk stops at a certificate whose issuer is not in the
//    message or is itself, and a walk that does not stop within
//    kMaxChainLookups - 1 lookups is refused;
//  - the certificate reached was signed by issuer's key and is valid now
//    (names are not compared, and issuer's own validity does not count).
// The chain is decided by these rules alone, never by OpenSSL's chain
// building. True when accepted; verdict holds the content, or the reason.
bool VerifyPackage(const std::string& package, X509* issuer, time_t now, PackageVerdict& verdict);
