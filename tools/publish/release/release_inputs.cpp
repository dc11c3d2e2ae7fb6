#include "release/release_inputs.h"

#include <openssl/crypto.h>
#include <openssl/x509.h>

#include <cstdlib>

#include "base/certificate_files.h"
#include "base/file_bytes.h"
#include "net/download_limits.h"
#include "release/token_key.h"
#include "signature/certificate_facts.h"
#include "tree/manifest_text.h"
#include "tree/release_layout.h"
#include "tree/tree_checks.h"
#include "update/product_version.h"

namespace {

constexpr char kPinVariable[] = "PLUMIX_PKCS11_PIN";
// A PIN is short; this only bounds a wrong argument.
constexpr uint64_t kMostPinFileBytes = 4096;

// What clients check of each certificate a package carries: its key and
// its validity now.
void CheckCertificate(X509* certificate, const std::string& file, time_t now, Findings& findings) {
  std::string subject = "certificate \"" + SubjectText(certificate) + "\"";
  std::string keyProblem = ClientKeyProblem(certificate);
  if (!keyProblem.empty()) findings.Refuse(file, subject + " " + keyProblem);
  time_t at = now;
  if (X509_cmp_time(X509_get0_notBefore(certificate), &at) != -1) {
    findings.Refuse(file, subject + " is not valid yet: clients refuse packages it signs");
  } else if (!ValidAt(certificate, now)) {
    findings.Refuse(file, subject + " expired on " + ExpiryText(certificate) +
                              ": clients refuse packages it signs");
  } else if (ExpiresWithin(certificate, now, kExpiryWarningSeconds)) {
    findings.Warn(file, ExpiryWarning(certificate));
  }
}

bool AlreadyIn(const SigningIdentity& identity, X509* certificate) {
  if (X509_cmp(identity.signer.get(), certificate) == 0) return true;
  for (const X509Owner& other : identity.chain) {
    if (X509_cmp(other.get(), certificate) == 0) return true;
  }
  return false;
}

// The token's PIN: the first line of --pin-file, else PLUMIX_PKCS11_PIN.
bool ReadPin(const ReleaseOptions& options, std::string& pin, std::string& error) {
  if (options.pinFile.empty()) {
    const char* variable = std::getenv(kPinVariable);
    if (variable == nullptr || variable[0] == '\0') {
      error = std::string("the token needs its PIN: give --pin-file FILE or set ") + kPinVariable;
      return false;
    }
    pin = variable;
    return true;
  }
  if (!ReadFileBytes(options.pinFile, kMostPinFileBytes, pin, error)) {
    error = "--pin-file " + options.pinFile + ": " + error;
    return false;
  }
  size_t lineEnd = pin.find_first_of("\r\n");
  if (lineEnd != std::string::npos) pin.erase(lineEnd);
  return true;
}

bool ReadSignerKey(const ReleaseOptions& options, SigningIdentity& identity, std::string& error) {
  if (!IsTokenUri(options.signerKey)) {
    return ReadPemPrivateKey(options.signerKey, identity.key, error);
  }
  TokenKeyRequest request{options.signerKey, options.pkcs11Module, std::string()};
  bool loaded = ReadPin(options, request.pin, error) &&
                LoadTokenKey(request, identity.engine, identity.key, error);
  OPENSSL_cleanse(&request.pin[0], request.pin.size());
  return loaded;
}

void ReadIdentity(const ReleaseOptions& options, time_t now, ReleaseInputs& inputs,
                  Findings& findings) {
  std::string error;
  if (!ReadDerCertificate(options.issuer, inputs.issuer, error)) {
    findings.Refuse(options.issuer, error);
  } else if (std::string problem = ClientKeyProblem(inputs.issuer.get()); !problem.empty()) {
    findings.Refuse(options.issuer, "the issuer certificate " + problem);
  }
  std::vector<X509Owner> signer;
  if (!ReadPemCertificates(options.signerCert, signer, error)) {
    findings.Refuse(options.signerCert, error);
  } else if (signer.size() > 1) {
    findings.Refuse(options.signerCert,
                    "holds " + std::to_string(signer.size()) +
                        " certificates: give the signer's alone here and the others with --chain");
  } else {
    inputs.identity.signer = std::move(signer.front());
    CheckCertificate(inputs.identity.signer.get(), options.signerCert, now, findings);
  }
  if (!ReadSignerKey(options, inputs.identity, error)) {
    findings.Refuse(options.signerKey, error);
  } else if (inputs.identity.signer &&
             X509_check_private_key(inputs.identity.signer.get(), inputs.identity.key.get()) != 1) {
    findings.Refuse(options.signerKey,
                    "the key does not belong to the certificate in " + options.signerCert);
  }
  for (const std::string& file : options.chain) {
    std::vector<X509Owner> certificates;
    if (!ReadPemCertificates(file, certificates, error)) {
      findings.Refuse(file, error);
      continue;
    }
    for (X509Owner& certificate : certificates) {
      CheckCertificate(certificate.get(), file, now, findings);
      if (!inputs.identity.signer || !AlreadyIn(inputs.identity, certificate.get())) {
        inputs.identity.chain.push_back(std::move(certificate));
      }
    }
  }
}

// The 32-bit and the 64-bit installer of each variant must carry one
// version, which the manifest announces for both.
void CheckVersionPairs(const ReleaseOptions& options, const ReleaseInputs& inputs,
                       const bool read[kPackageCount], Findings& findings) {
  // Slots 0 and 1 are ActiveX 32- and 64-bit, 2 and 3 Plugin.
  for (int i = 0; i < kPackageCount; i += 2) {
    if (read[i] && read[i + 1] && !(inputs.versions[i] == inputs.versions[i + 1])) {
      findings.Refuse(options.installers[i + 1],
                      "carries version " + VersionText(inputs.versions[i + 1]) + ", but the " +
                          kPackageSlots[i].label + " installer " + options.installers[i] +
                          " carries " + VersionText(inputs.versions[i]) +
                          ": the manifest announces one version per variant");
    }
  }
}

// One installer for both variants may be meant (a combined installer), but
// one that registers a single variant leaves the other's clients
// downloading it again at every due check.
void WarnOfSharedInstallers(const ReleaseOptions& options, const ReleaseInputs& inputs,
                            const bool read[kPackageCount], Findings& findings) {
  // Slots 0 and 2 are for 32-bit Windows, 1 and 3 for 64-bit.
  for (int activeX = 0; activeX < 2; ++activeX) {
    int plugin = activeX + 2;
    if (!read[activeX] || !read[plugin] || inputs.installers[activeX] != inputs.installers[plugin]) {
      continue;
    }
    findings.Warn(options.installers[plugin],
                  std::string("is the same installer as ") + kPackageSlots[activeX].option + " " +
                      options.installers[activeX] +
                      ": unless it installs and registers both ActiveX and Plugin, the clients "
                      "of the variant it does not register download it again at every due "
                      "check");
  }
}

void ReadInstallers(const ReleaseOptions& options, ReleaseInputs& inputs, Findings& findings) {
  bool read[kPackageCount] = {};
  for (int i = 0; i < kPackageCount; ++i) {
    const std::string& file = options.installers[i];
    std::string error;
    if (!ReadFileBytes(file, kMaxPackageBytes, inputs.installers[i], error)) {
      findings.Refuse(file, error);
    } else if (!ReadFileVersion(inputs.installers[i], inputs.versions[i], error)) {
      findings.Refuse(file, error);
    } else if (std::string problem = SlotImageProblem(kPackageSlots[i], inputs.installers[i]);
               !problem.empty()) {
      findings.Refuse(file, "is " + problem + "; give it with " + kPackageSlots[i + 1].option);
    } else {
      read[i] = true;
    }
  }
  CheckVersionPairs(options, inputs, read, findings);
  WarnOfSharedInstallers(options, inputs, read, findings);
}

// Clients read 0 as hourly and anything above 4 as four-hourly; 1 and 4 say
// so plainly, so a 0 or a 6 is more likely a mistake than a wish.
void CheckFrequency(uint32_t frequency, Findings& findings) {
  if (frequency >= 1 && frequency <= 4) return;
  bool hourly = frequency == 0;
  findings.Refuse("--check-frequency",
                  std::to_string(frequency) + " makes the clients' task run every " +
                      (hourly ? "hour, as 1 does: give 1" : "four hours, as 4 does: give 4") +
                      " (the check frequency is 1 to 4)");
}

ProductVersion AsProduct(const FileVersion& version) {
  return ProductVersion{version.major, version.minor, version.buildMajor, version.buildMinor};
}

}  // namespace

void ReadReleaseInputs(const ReleaseOptions& options, time_t now, ReleaseInputs& inputs,
                       Findings& findings) {
  CheckFrequency(options.checkFrequency, findings);
  ReadIdentity(options, now, inputs, findings);
  ReadInstallers(options, inputs, findings);
}

void CheckAgainstPrevious(const ReleaseOptions& options, const ReleaseInputs& inputs,
                          Findings& findings) {
  std::string path = options.previous + "/" + kManifestPath;
  std::string text;
  std::string error;
  ManifestValues previous = {};
  if (!ReadFileBytes(path, 16u * 1024 * 1024, text, error) ||
      !ParseManifestAsClients(text, previous)) {
    findings.Refuse(path, error.empty() ? "the previous release's manifest does not parse" : error);
    return;
  }
  const struct {
    int slot;
    const VersionRecord& before;
  } variants[] = {{0, previous.activeX}, {2, previous.plugin}};
  for (const auto& variant : variants) {
    const FileVersion& now = inputs.versions[variant.slot];
    const std::string& file = options.installers[variant.slot];
    const char* name = VariantName(kPackageSlots[variant.slot].variant);
    std::string before = VersionText(AnnouncedVersion(variant.before));
    int order = CompareVersion(AsProduct(now), VersionOf(variant.before));
    if (order < 0 && !options.allowOlder) {
      findings.Refuse(file, "version " + VersionText(now) + " is lower than " + before +
                                ", which the previous release announces for " + name +
                                " (--allow-older publishes it anyway)");
    } else if (order < 0) {
      findings.Warn(file, "version " + VersionText(now) + " is lower than the previous " + before +
                              " for " + name + "; published because of --allow-older");
    } else if (order == 0) {
      findings.Warn(file, "version " + VersionText(now) + " equals the previous release's for " +
                              name + ": no client will update " + name);
    }
  }
}
