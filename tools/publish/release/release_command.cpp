#include "release/release_command.h"

#include <cstdio>
#include <ctime>

#include "base/sha256.h"
#include "exit_status.h"
#include "release/package_signer.h"
#include "release/release_inputs.h"
#include "release/release_options.h"
#include "release/release_store.h"
#include "release/tree_writer.h"
#include "signature/certificate_facts.h"
#include "store/store_layout.h"
#include "task/task_schedule.h"
#include "tree/manifest_text.h"
#include "tree/published_tree.h"
#include "tree/release_record.h"
#include "tree/tree_checks.h"

namespace {

int Refused(const Findings& findings) {
  findings.Print(stderr);
  std::fputs("release refused: nothing was written\n", stdout);
  return kExitRefused;
}

// A failure after the tree was stored: what DIR serves is the old release
// or the new one, whole, as the message says.
int FailedAfterStoring(const Findings& findings, const std::string& name) {
  findings.Print(stderr);
  std::printf("release %s was stored, but not all of its publication completed (above)\n",
              name.c_str());
  return kExitRefused;
}

void PrintOutcome(const ReleaseOptions& options, const std::string& name) {
  if (options.candidate) {
    std::printf(
        "stored release %s in %s as a candidate; %s serves what it served. Start its "
        "rollout with: plumix-publish rollout start %s --release %s --percent P\n",
        name.c_str(), options.out.c_str(), options.out.c_str(), options.out.c_str(),
        name.c_str());
  } else {
    std::printf("published %s (release %s)\n", options.out.c_str(), name.c_str());
  }
}

// Compares the announcement with the previous release, which is, without
// --previous, the one DIR serves.
void CheckAgainstServed(const ReleaseOptions& options, const ReleaseInputs& inputs,
                        Findings& findings) {
  ReleaseOptions compared = options;
  compared.previous = PreviousRelease(options);
  if (compared.previous.empty()) return;
  std::printf("comparing with the previous release in %s\n", compared.previous.c_str());
  CheckAgainstPrevious(compared, inputs, findings);
}

void PrintAnnouncement(const ReleaseOptions& options, const ReleaseInputs& inputs) {
  std::printf("announcing ActiveX %s (%s, %s)\n", VersionText(inputs.versions[0]).c_str(),
              options.installers[0].c_str(), options.installers[1].c_str());
  std::printf("announcing Plugin %s (%s, %s)\n", VersionText(inputs.versions[2]).c_str(),
              options.installers[2].c_str(), options.installers[3].c_str());
  std::printf(
      "check frequency %u: a client's task runs again %d minutes after each check "
      "(a check is due 24 hours after the last one)\n",
      options.checkFrequency,
      RepetitionIntervalMinutes(static_cast<int32_t>(options.checkFrequency)));
  std::printf("signer \"%s\", expires %s\n", SubjectText(inputs.identity.signer.get()).c_str(),
              ExpiryText(inputs.identity.signer.get()).c_str());
}

ReleaseRecord::File RecordFile(const char* path, const std::string& bytes) {
  return ReleaseRecord::File{path, bytes.size(), Sha256Hex(bytes)};
}

// Signs the installers and writes the whole tree into the staging folder.
bool StageTree(const ReleaseOptions& options, const ReleaseInputs& inputs, TreeWriter& writer,
               Findings& findings) {
  std::string error;
  if (!writer.Begin(error)) {
    findings.Refuse(options.out, error);
    return false;
  }
  ReleaseRecord record;
  for (int i = 0; i < kPackageCount; ++i) {
    std::printf("signing %s -> %s\n", options.installers[i].c_str(), kPackageSlots[i].path);
    std::fflush(stdout);
    std::string package;
    if (!SignPackage(inputs.installers[i], inputs.identity, package, error) ||
        !writer.WriteFile(kPackageSlots[i].path, package, error)) {
      findings.Refuse(options.installers[i], error);
      return false;
    }
    record.packages[i] = RecordFile(kPackageSlots[i].path, package);
  }
  std::string manifest =
      ManifestText(inputs.versions[0], inputs.versions[2], options.checkFrequency);
  record.activeX = inputs.versions[0];
  record.plugin = inputs.versions[2];
  record.checkFrequency = options.checkFrequency;
  record.signerSubject = SubjectText(inputs.identity.signer.get());
  record.signerExpiry = ExpiryText(inputs.identity.signer.get());
  record.manifest = RecordFile(kManifestPath, manifest);
  if (!writer.WriteFile(kManifestPath, manifest, error) ||
      !writer.WriteFile(kReleaseRecordPath, ReleaseRecordText(record), error)) {
    findings.Refuse(options.out, error);
    return false;
  }
  return true;
}

// The checks only a release can make: the manifest yields exactly what was
// announced, and each package holds exactly its installer.
void CheckAgainstInputs(const ReleaseOptions& options, const ReleaseInputs& inputs,
                        const PublishedTree& tree, const TreeFacts& facts, Findings& findings) {
  if (facts.manifestParsed && (!(AnnouncedVersion(facts.announced.activeX) == inputs.versions[0]) ||
                               !(AnnouncedVersion(facts.announced.plugin) == inputs.versions[2]) ||
                               facts.announced.checkFrequency != options.checkFrequency)) {
    findings.Refuse(tree.manifestName,
                    "the clients' parser reads other versions or another check frequency "
                    "than the release announces");
  }
  for (int i = 0; i < kPackageCount; ++i) {
    if (facts.packages[i].accepted && facts.packages[i].content != inputs.installers[i]) {
      findings.Refuse(tree.packageNames[i],
                      "the package's content is not byte for byte " + options.installers[i]);
    }
  }
}

}  // namespace

int RunReleaseCommand(int argc, char* argv[]) {
  // Progress and refusals interleave in the order they happen, also in a pipe.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  ReleaseOptions options;
  std::string usageError;
  switch (ParseReleaseOptions(argc, argv, options, usageError)) {
    case OptionsResult::Help:
      std::fputs(kReleaseUsage, stdout);
      return kExitDone;
    case OptionsResult::Invalid:
      std::fprintf(stderr, "plumix-publish release: %s\n\n%s", usageError.c_str(), kReleaseUsage);
      return kExitUsage;
    case OptionsResult::Parsed:
      break;
  }
  std::string error;
  Findings findings;
  if (!CheckOutputFolderName(options.out, error)) {
    findings.Refuse(options.out, error);
    return Refused(findings);
  }
  time_t now = std::time(nullptr);
  ReleaseInputs inputs;
  std::printf("reading the issuer, the signer and the installers\n");
  ReadReleaseInputs(options, now, inputs, findings);
  if (findings.refused()) return Refused(findings);
  StoreSession store;
  RolloutState state;
  if (!OpenReleaseStore(options, store, state, findings)) return Refused(findings);
  const std::string name = ReleaseName(inputs.versions[0], inputs.versions[2]);
  CheckRolloutAllows(options, state, name, findings);
  if (!findings.refused()) CheckAgainstServed(options, inputs, findings);
  if (findings.refused()) return Refused(findings);
  PrintAnnouncement(options, inputs);

  TreeWriter writer(ReleaseFolder(store.dir(), name), StoreFolder(store.dir()));
  if (!StageTree(options, inputs, writer, findings)) return Refused(findings);
  std::printf("checking the staged tree as the clients see it\n");
  PublishedTree staged;
  TreeFacts facts;
  LoadTreeFromFolder(writer.staging(), options.out, staged, findings);
  CheckPublishedTree(staged, inputs.issuer.get(), now, findings, facts);
  CheckAgainstInputs(options, inputs, staged, facts, findings);
  if (findings.refused()) return Refused(findings);

  if (!writer.Commit(error)) {
    findings.Refuse(options.out, error);
    return Refused(findings);
  }
  store.KeepStore();
  if (!RecordRelease(options, name, now, state, findings)) {
    return FailedAfterStoring(findings, name);
  }
  findings.Print(stderr);
  PrintOutcome(options, name);
  return kExitDone;
}
