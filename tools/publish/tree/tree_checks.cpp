#include "tree/tree_checks.h"

#include "signature/certificate_facts.h"
#include "signature/package_verifier.h"
#include "tree/manifest_text.h"

namespace {

void WarnOfExpiry(const PackageVerdict& verdict, time_t now, const std::string& file,
                  Findings& findings) {
  for (const X509Owner& certificate : verdict.chain) {
    if (ExpiresWithin(certificate.get(), now, kExpiryWarningSeconds)) {
      findings.Warn(file, ExpiryWarning(certificate.get()));
    }
  }
}

void CheckInstallerVersion(const PackageSlot& slot, const TreeFacts& facts, PackageFacts& package,
                           const std::string& file, Findings& findings) {
  std::string reason;
  FileVersion& version = package.installerVersion;
  if (!ReadFileVersion(package.content, version, reason)) {
    findings.Refuse(file, "the installer in the package: " + reason);
    return;
  }
  std::string slotProblem = SlotImageProblem(slot, package.content);
  if (!slotProblem.empty()) findings.Refuse(file, "the installer in the package is " + slotProblem);
  if (!facts.manifestParsed) return;
  const VersionRecord& record =
      slot.variant == PluginVariant::ActiveX ? facts.announced.activeX : facts.announced.plugin;
  FileVersion announced = AnnouncedVersion(record);
  if (!(version == announced)) {
    findings.Refuse(file, "the installer carries version " + VersionText(version) +
                              " but the manifest announces " + VersionText(announced) + " for " +
                              VariantName(slot.variant) +
                              ": clients would install it again at every check");
  }
}

}  // namespace

std::string SlotImageProblem(const PackageSlot& slot, std::string_view installer) {
  if (slot.for64Bit || !IsPe32PlusImage(installer)) return std::string();
  return std::string("a 64-bit (PE32+) executable, which 32-bit Windows cannot run: the ") +
         slot.label + " package is what clients on 32-bit Windows install";
}

std::string ExpiryWarning(X509* certificate) {
  return "certificate \"" + SubjectText(certificate) + "\" expires on " + ExpiryText(certificate) +
         ", within 30 days: clients refuse every package in its chain after that";
}

void CheckPublishedTree(const PublishedTree& tree, X509* issuer, time_t now, Findings& findings,
                        TreeFacts& facts) {
  facts = TreeFacts();
  if (tree.hasManifest) {
    facts.manifestParsed = ParseManifestAsClients(tree.manifest, facts.announced);
    if (!facts.manifestParsed) {
      findings.Refuse(tree.manifestName,
                      "the clients' parser does not find both versions and the check frequency");
    }
  }
  for (int i = 0; i < kPackageCount; ++i) {
    if (!tree.hasPackage[i]) continue;
    const std::string& file = tree.packageNames[i];
    PackageVerdict verdict;
    if (!VerifyPackage(tree.packages[i], issuer, now, verdict)) {
      findings.Refuse(file, "clients refuse the package: " + verdict.reason);
      continue;
    }
    PackageFacts& package = facts.packages[i];
    package.accepted = true;
    package.content = std::move(verdict.content);
    package.signerSubject = SubjectText(verdict.chain.front().get());
    package.signerExpiry = ExpiryText(verdict.chain.front().get());
    WarnOfExpiry(verdict, now, file, findings);
    CheckInstallerVersion(kPackageSlots[i], facts, package, file, findings);
  }
}
