#pragma once

#include <ctime>
#include <string>

#include "base/openssl_owners.h"
#include "pe/file_version.h"
#include "release/package_signer.h"
#include "release/release_options.h"
#include "tree/findings.h"

// What a release is made of, read from the files its options name.
struct ReleaseInputs {
  X509Owner issuer;
  SigningIdentity identity;
  std::string installers[kPackageCount];  // in the order of kPackageSlots
  FileVersion versions[kPackageCount];
};

// Reads the issuer, the signer's certificate, key and chain, and the four
// installers, and records a refusal naming the file (or the option) for each
// that cannot be read or used: a check frequency outside 1 to 4; a signer
// certificate file with more than one certificate; a key that does not
// belong to the certificate; a certificate whose key clients cannot use
// (see ClientKeyProblem), that has expired or is not valid yet at now (one
// expiring within 30 days is a warning); an installer larger than the
// service downloads, without a readable version resource, or 64-bit in a
// slot for 32-bit Windows; a 64-bit installer whose version differs from
// the 32-bit one of its variant. One installer given for both ActiveX and
// Plugin is a warning.
void ReadReleaseInputs(const ReleaseOptions& options, time_t now, ReleaseInputs& inputs,
                       Findings& findings);

// Compares the announced versions with what the release in options.previous
// announces, as the clients compare versions: a lower one is refused (a
// warning with options.allowOlder), an equal one is a warning, since no
// client updates to it. A previous tree without a readable manifest is
// refused.
void CheckAgainstPrevious(const ReleaseOptions& options, const ReleaseInputs& inputs,
                          Findings& findings);
