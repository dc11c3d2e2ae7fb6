#pragma once

#include <string>

// The token that a PKCS #11 URI names, as found.
struct TokenTarget {
  std::string token;  // the token's label
  std::string key;    // the key as the URI names it: label "signer", id 01
};

// Reads a PKCS #11 URI (RFC 7512) with p11-kit, finds the one token it names
// among module's tokens (every module p11-kit knows when module is ""), logs
// in with pin and finds the one private key the URI names there; then logs
// out. This says each cause plainly before anything signs. False, with the
// cause in error: a URI that does not read, that carries a PIN (which would
// then be on the command line) or names no key by label or id; a module that
// does not load; no token, or more than one, matching the URI (with the
// labels of those present); a wrong, locked or expired PIN; no private key,
// or more than one, matching the URI on the token.
bool FindTokenKey(const std::string& uri, const std::string& module, const std::string& pin,
                  TokenTarget& target, std::string& error);
