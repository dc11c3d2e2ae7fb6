#include "release/release_store.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include "rollout/nginx_change.h"
#include "store/served_links.h"
#include "tree/release_layout.h"

bool OpenReleaseStore(const ReleaseOptions& options, StoreSession& store, RolloutState& state,
                      Findings& findings) {
  std::string error;
  if (!store.Open(options.out, true, error) || !LoadRolloutState(store.dir(), state, error) ||
      !CheckServedLinks(store.dir(), error)) {
    findings.Refuse(options.out, error);
    return false;
  }
  return true;
}

void CheckRolloutAllows(const ReleaseOptions& options, const RolloutState& state,
                        const std::string& name, Findings& findings) {
  if (!options.candidate && !state.candidate.empty()) {
    findings.Refuse(options.out, "release " + state.candidate +
                                     " is the candidate of a staged rollout: publish this one "
                                     "with --candidate, or complete that rollout first");
  } else if (options.candidate && state.current.empty()) {
    findings.Refuse(options.out,
                    "serves no release yet: publish the first one for everyone, without "
                    "--candidate");
  } else if (options.candidate && name == state.current) {
    findings.Refuse(options.out, "already serves release " + name +
                                     " to everyone; a candidate must be another release");
  }
}

std::string PreviousRelease(const ReleaseOptions& options) {
  if (!options.previous.empty()) return options.previous;
  struct stat status = {};
  bool serves = stat((options.out + "/" + kManifestPath).c_str(), &status) == 0;
  return serves ? options.out : "";
}

namespace {

// The generated nginx files, where there are none yet, so that nginx can be
// set up to include them before a first rollout. They need DIR's absolute
// path; a path nginx cannot take is said when a rollout starts.
bool WriteNginxFilesOnce(const std::string& dir, const RolloutState& state, std::string& error) {
  char resolved[PATH_MAX];
  if (realpath(dir.c_str(), resolved) == nullptr || !IsPathSafeForNginx(resolved)) return true;
  return WriteInitialNginxFiles(resolved, RenderNginxFiles(resolved, state), error);
}

}  // namespace

bool RecordRelease(const ReleaseOptions& options, const std::string& name, time_t now,
                   RolloutState& state, Findings& findings) {
  std::string error;
  if (!options.candidate && !ServeRelease(options.out, name, error)) {
    findings.Refuse(options.out, error);
    return false;
  }
  if (!options.candidate) state.current = name;
  state.history.push_back({static_cast<int64_t>(now), options.candidate ? "store" : "publish", name,
                           options.candidate ? 0.0 : 100.0,
                           options.candidate ? "stored as a candidate" : "published to everyone"});
  if (!SaveRolloutState(options.out, state, error) ||
      !WriteNginxFilesOnce(options.out, state, error)) {
    findings.Refuse(options.out, error);
    return false;
  }
  return true;
}
