#pragma once

#include <string>

#include "store/rollout_state.h"

// The nginx files a rollout state is served with, in DIR/.plumix-publish/nginx/:
//   rollout-http.conf       included in nginx's http block: the cohort of each
//                           client address and the release it is shown
//   rollout-locations.conf  included in each server block that serves DIR:
//                           the manifest and package paths from that release
//   cohort.js               the key function rollout-http.conf loads (njs)
enum NginxFile { kHttpFile, kLocationsFile, kScriptFile, kNginxFileCount };

struct NginxFiles {
  std::string text[kNginxFileCount];  // indexed by NginxFile
};

// "rollout-http.conf", "rollout-locations.conf", "cohort.js".
const char* NginxFileName(int file);

// The file's path in DIR's store.
std::string NginxFilePath(const std::string& dir, int file);

// Whether an absolute path can stand in an nginx configuration as it is
// (no quotes, spaces, semicolons, braces, "$" or control characters).
bool IsPathSafeForNginx(const std::string& path);

// The files for state, DIR given as an absolute path that IsPathSafeForNginx
// accepts. The candidate is shown to the canary ranges and to the addresses
// whose key falls in its share under the state's salt, both for the manifest
// and for the packages; everyone else, and everyone when no candidate is
// shown, gets the current release through the store's current link. While
// the answer depends on the address it carries "Cache-Control: private,
// no-store", so that no shared cache hands one cohort's answer to another.
// The njs module is loaded only while a share between 0 and 100 % needs it.
NginxFiles RenderNginxFiles(const std::string& dir, const RolloutState& state);
