#pragma once

#include <string>
#include <vector>

#include "base/openssl_owners.h"
#include "release/token_key.h"

// Who signs the packages of a release.
struct SigningIdentity {
  X509Owner signer;
  EngineOwner engine;  // for a key in a token: what signs with it, released after it
  PrivateKeyOwner key;
  std::vector<X509Owner> chain;  // further certificates for each package
};

// Signs content as a package: a CMS (PKCS #7) SignedData message in DER with
// the content attached as binary data, one signer named by issuer and serial
// number (never by key identifier, which Wine's crypt32 cannot match),
// SHA-256, the default signed attributes, and the signer's and chain's
// certificates. False, with OpenSSL's reason, when signing fails.
bool SignPackage(const std::string& content, const SigningIdentity& identity, std::string& package,
                 std::string& error);
