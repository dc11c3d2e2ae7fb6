#pragma once

#include <openssl/types.h>

#include <memory>
#include <string>

#include "base/openssl_owners.h"

// Releases the engine that a token key signs through: the functional
// reference that made the key, then the engine itself.
struct EngineRelease {
  void operator()(ENGINE* engine) const;
};
using EngineOwner = std::unique_ptr<ENGINE, EngineRelease>;

// Where a signing key lives in a PKCS #11 token.
struct TokenKeyRequest {
  std::string uri;     // RFC 7512, "pkcs11:token=...;object=..."
  std::string module;  // the PKCS #11 module's path; "" for every module p11-kit knows
  std::string pin;     // the user PIN
};

// Whether a --signer-key value names a key in a token rather than a file.
bool IsTokenUri(const std::string& signerKey);

// The private key the URI names, from its token, through OpenSSL's pkcs11
// engine (libengine-pkcs11-openssl): the key never leaves the token, which
// makes every signature with it; engine must outlive key. The token and the
// key are first looked for with p11-kit (see FindTokenKey), so that each
// failure says its cause and the engine starts only for a key that is there.
// False, with the cause in error.
bool LoadTokenKey(const TokenKeyRequest& request, EngineOwner& engine, PrivateKeyOwner& key,
                  std::string& error);
