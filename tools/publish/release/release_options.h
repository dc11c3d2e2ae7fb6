#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tree/release_layout.h"

struct ReleaseOptions {
  std::string out;
  uint32_t checkFrequency = 0;
  std::string issuer;
  std::string signerCert;
  std::string signerKey;  // a PEM file, or a PKCS #11 URI
  std::string pinFile;    // the token's PIN, for a key in a token
  std::string pkcs11Module;
  std::vector<std::string> chain;
  std::string installers[kPackageCount];  // in the order of kPackageSlots
  std::string previous;                   // "" when not given
  bool allowOlder = false;
  bool candidate = false;  // store only, for a staged rollout
};

enum class OptionsResult { Parsed, Help, Invalid };

// The release command's options (argv[0] is "release"). Invalid, with the
// problem in error, for an unknown or repeated option, a missing value or
// required option, a check frequency that is not an unsigned 32-bit decimal
// number, or --pin-file or --pkcs11-module with a key that is not in a token.
OptionsResult ParseReleaseOptions(int argc, char* argv[], ReleaseOptions& options,
                                  std::string& error);

// The release command's --help text.
extern const char kReleaseUsage[];

// Reads an unsigned 32-bit decimal number: digits only, no sign or spaces.
bool ParseUnsigned32(const std::string& text, uint32_t& value);
