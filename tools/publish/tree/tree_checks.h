#pragma once

#include <openssl/x509.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "net/version_manifest_parser.h"
#include "pe/file_version.h"
#include "tree/findings.h"
#include "tree/published_tree.h"

// A certificate that expires within this many seconds is warned about.
constexpr long kExpiryWarningSeconds = 30L * 24 * 60 * 60;

// The warning about a certificate that expires soon, with its date.
std::string ExpiryWarning(X509* certificate);

// Why the installer cannot be the one of slot, or "" when it can: a 64-bit
// (PE32+) executable in a slot that 32-bit Windows fetches. (A 32-bit
// installer in a 64-bit slot runs there.)
std::string SlotImageProblem(const PackageSlot& slot, std::string_view installer);

// What the checks learnt about one package that the clients accept.
struct PackageFacts {
  bool accepted = false;
  std::string content;  // the installer
  FileVersion installerVersion;
  std::string signerSubject;
  std::string signerExpiry;
};

// What the checks learnt about a tree.
struct TreeFacts {
  bool manifestParsed = false;
  ManifestValues announced = {};
  PackageFacts packages[kPackageCount];
};

// Runs the checks that apply to a published tree, as every client sees it,
// and records each refusal and warning under the file it is about:
//  - the manifest parses with the clients' own parser;
//  - each package verifies under the clients' rules against issuer at time
//    now (the loaders have already refused one larger than the service
//    downloads);
//  - no certificate of a package's chain expires within 30 days (warning);
//  - no package for 32-bit Windows holds a 64-bit installer;
//  - each package's installer carries, in its version resource, exactly the
//    version the manifest announces for the package's variant (a client
//    would otherwise install it again at every check).
void CheckPublishedTree(const PublishedTree& tree, X509* issuer, time_t now, Findings& findings,
                        TreeFacts& facts);
