#include "check/check_command.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "base/certificate_files.h"
#include "base/file_bytes.h"
#include "base/sha256.h"
#include "check/host_tree.h"
#include "exit_status.h"
#include "release/release_options.h"
#include "store/rollout_state.h"
#include "store/store_layout.h"
#include "tree/manifest_text.h"
#include "tree/release_record.h"
#include "tree/tree_checks.h"

namespace {

const char kCheckUsage[] =
    "usage: plumix-publish check (DIR | --host HOST) --issuer ISSUER.der [--ca-file PEM]\n"
    "\n"
    "Checks a published release tree as every client sees it: the manifest parses with the\n"
    "clients' parser, each package verifies under the clients' rules against the issuer,\n"
    "and each package's installer carries the version the manifest announces for it.\n"
    "\n"
    "  DIR                a release tree in a folder; its release.json, when present, must\n"
    "                     match the manifest and the packages byte for byte; the candidate\n"
    "                     of a staged rollout in DIR is checked as well\n"
    "  --host HOST        a live origin, fetched as the clients fetch: the manifest over\n"
    "                     HTTPS on port 443, the four packages over HTTP on port 80, with\n"
    "                     the clients' user agents; a host name or address alone, no port\n"
    "                     or path\n"
    "  --issuer ISSUER.der  the issuer certificate built into the clients (DER)\n"
    "  --ca-file PEM      trust only these CAs for HTTPS, not the system's\n"
    "  --help             this text\n"
    "\n"
    "Exit status: 0 every client would update without failing or looping (warnings may be\n"
    "printed); 1 some would not, one line per reason on standard error (\"FILE: reason\");\n"
    "2 usage error.\n";

struct CheckOptions {
  std::string folder;
  std::string host;
  std::string issuer;
  std::string caFile;
};

bool TakeValue(int argc, char* argv[], int& i, std::string& field, std::string& error) {
  if (!field.empty() || i + 1 >= argc || argv[i + 1][0] == '\0') {
    error = std::string(argv[i]) + (field.empty() ? " needs a value" : " given twice");
    return false;
  }
  field = argv[++i];
  return true;
}

OptionsResult ParseCheckOptions(int argc, char* argv[], CheckOptions& options, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    const char* name = argv[i];
    if (std::strcmp(name, "--help") == 0 || std::strcmp(name, "-h") == 0) {
      return OptionsResult::Help;
    }
    bool taken = true;
    if (std::strcmp(name, "--host") == 0) {
      taken = TakeValue(argc, argv, i, options.host, error);
    } else if (std::strcmp(name, "--issuer") == 0) {
      taken = TakeValue(argc, argv, i, options.issuer, error);
    } else if (std::strcmp(name, "--ca-file") == 0) {
      taken = TakeValue(argc, argv, i, options.caFile, error);
    } else if (name[0] == '-' || !options.folder.empty()) {
      error = std::string("unexpected argument ") + name;
      taken = false;
    } else {
      options.folder = name;
    }
    if (!taken) return OptionsResult::Invalid;
  }
  if (options.folder.empty() == options.host.empty()) {
    error = "give either DIR or --host HOST";
  } else if (options.issuer.empty()) {
    error = "--issuer is required";
  } else if (!options.caFile.empty() && options.host.empty()) {
    error = "--ca-file goes with --host";
  }
  return error.empty() ? OptionsResult::Parsed : OptionsResult::Invalid;
}

// Why host is not what a client's settings name, or "": clients take a host
// name (or address) alone, and fetch from the default ports.
std::string HostProblem(const std::string& host) {
  if (host.find("://") != std::string::npos) {
    return "give the host alone, without a scheme: clients fetch the manifest over HTTPS and "
           "the packages over HTTP";
  }
  if (host.find_first_of("/?#") != std::string::npos) {
    return "give the host alone, without a path: clients fetch fixed paths from its root";
  }
  // An IPv6 address is written in brackets; a colon after them starts a port.
  size_t closing = host[0] == '[' ? host.find(']') : 0;
  if (closing == std::string::npos || host.find(':', closing) != std::string::npos) {
    return "give the host alone, without a port: clients fetch the manifest from port 443 "
           "and the packages from port 80";
  }
  if (host.find_first_of("@ \t") != std::string::npos) return "not a host name";
  return std::string();
}

void CompareWithRecord(const std::string& root, const PublishedTree& tree, Findings& findings) {
  std::string path = root + "/" + kReleaseRecordPath;
  std::string text;
  std::string error;
  ReleaseRecord record;
  if (!ReadFileBytes(path, 1024 * 1024, text, error)) {
    findings.Warn(path, "no release record (" + error +
                            "): the files cannot be compared with "
                            "what was published");
    return;
  }
  if (!ParseReleaseRecordFiles(text, record)) {
    findings.Refuse(path, "not a release record of this tool");
    return;
  }
  auto compare = [&](bool present, const std::string& name, const std::string& bytes,
                     const ReleaseRecord::File& file) {
    if (present && (bytes.size() != file.size || Sha256Hex(bytes) != file.sha256)) {
      findings.Refuse(name, "differs from what was published (size or SHA-256 in " + path + ")");
    }
  };
  compare(tree.hasManifest, tree.manifestName, tree.manifest, record.manifest);
  for (int i = 0; i < kPackageCount; ++i) {
    compare(tree.hasPackage[i], tree.packageNames[i], tree.packages[i], record.packages[i]);
  }
}

void PrintTree(const TreeFacts& facts) {
  if (facts.manifestParsed) {
    std::printf("manifest announces ActiveX %s, Plugin %s, check frequency %u\n",
                VersionText(AnnouncedVersion(facts.announced.activeX)).c_str(),
                VersionText(AnnouncedVersion(facts.announced.plugin)).c_str(),
                facts.announced.checkFrequency);
  }
  for (int i = 0; i < kPackageCount; ++i) {
    const PackageFacts& package = facts.packages[i];
    if (!package.accepted) continue;
    std::printf("%s: accepted, installer %s, signer \"%s\" (expires %s)\n", kPackageSlots[i].label,
                VersionText(package.installerVersion).c_str(), package.signerSubject.c_str(),
                package.signerExpiry.c_str());
  }
}

void CheckFolder(const std::string& root, X509* issuer, Findings& findings) {
  PublishedTree tree;
  LoadTreeFromFolder(root, root, tree, findings);
  TreeFacts facts;
  CheckPublishedTree(tree, issuer, std::time(nullptr), findings, facts);
  CompareWithRecord(root, tree, findings);
  PrintTree(facts);
}

// A folder with a release store: what it serves to everyone, then the
// candidate its rollout shows to some.
void CheckStoreFolder(const std::string& dir, X509* issuer, Findings& findings) {
  CheckFolder(dir, issuer, findings);
  RolloutState state;
  std::string error;
  if (!LoadRolloutState(dir, state, error)) {
    findings.Refuse(dir, error);
  } else if (!state.candidate.empty()) {
    std::printf("the staged rollout's candidate, release %s:\n", state.candidate.c_str());
    CheckFolder(ReleaseFolder(dir, state.candidate), issuer, findings);
  }
}

}  // namespace

int RunCheckCommand(int argc, char* argv[]) {
  // Progress and refusals interleave in the order they happen, also in a pipe.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  CheckOptions options;
  std::string error;
  switch (ParseCheckOptions(argc, argv, options, error)) {
    case OptionsResult::Help:
      std::fputs(kCheckUsage, stdout);
      return kExitDone;
    case OptionsResult::Invalid:
      std::fprintf(stderr, "plumix-publish check: %s\n\n%s", error.c_str(), kCheckUsage);
      return kExitUsage;
    case OptionsResult::Parsed:
      break;
  }
  Findings findings;
  std::string hostProblem = options.host.empty() ? std::string() : HostProblem(options.host);
  if (!hostProblem.empty()) findings.Refuse("--host " + options.host, hostProblem);
  if (!options.caFile.empty() && !IsRegularFile(options.caFile, error)) {
    findings.Refuse(options.caFile, error);
  }
  X509Owner issuer;
  if (!ReadDerCertificate(options.issuer, issuer, error)) findings.Refuse(options.issuer, error);
  if (findings.refused()) {
    findings.Print(stderr);
    return kExitRefused;
  }
  if (options.host.empty()) {
    CheckStoreFolder(options.folder, issuer.get(), findings);
  } else {
    PublishedTree tree;
    LoadTreeFromHost(options.host, options.caFile, tree, findings);
    TreeFacts facts;
    CheckPublishedTree(tree, issuer.get(), std::time(nullptr), findings, facts);
    PrintTree(facts);
  }
  findings.Print(stderr);
  if (findings.refused()) {
    std::puts("check failed: some clients would fail or install again and again");
    return kExitRefused;
  }
  std::puts("check passed");
  return kExitDone;
}
