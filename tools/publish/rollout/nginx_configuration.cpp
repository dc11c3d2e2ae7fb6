#include "rollout/nginx_configuration.h"

#include <sstream>

#include "cohort/cohort.h"
#include "cohort/cohort_script.h"
#include "store/store_layout.h"
#include "tree/release_layout.h"

namespace {

const char* const kFileNames[kNginxFileCount] = {"rollout-http.conf", "rollout-locations.conf",
                                                 "cohort.js"};

constexpr char kHeader[] =
    "# Written by plumix-publish rollout; the next rollout change rewrites it.\n";
constexpr char kVaryingCacheControl[] = "private, no-store";
// A new release reaches the fleet within minutes; packages keep their paths
// from one release to the next, so caches must ask again (cheap with ETag).
constexpr char kManifestCacheControl[] = "public, max-age=300";
constexpr char kPackageCacheControl[] = "public, no-cache";

std::string FolderOf(const char* path) {
  std::string text = path;
  return "/" + text.substr(0, text.find_last_of('/') + 1);
}

// Whether the candidate's share needs split_clients (and the key function).
bool SplitsAddresses(const RolloutState& state) {
  uint32_t share = ShareHundredths(state.EffectivePercent());
  return share > 0 && share < 10000;
}

void WriteShare(std::ostringstream& text, const std::string& dir, const RolloutState& state) {
  if (SplitsAddresses(state)) {
    text << "js_import plumix_cohort from " << NginxFilePath(dir, kScriptFile) << ";\n"
         << "js_set $plumix_cohort_key plumix_cohort.key;\n"
         << "split_clients \"" << state.salt << "${plumix_cohort_key}\" $plumix_in_share {\n"
         << "    " << SplitClientsPercentText(state.EffectivePercent()) << " 1;\n"
         << "    * 0;\n}\n";
  } else {
    text << "map \"\" $plumix_in_share {\n    default "
         << (state.Varies() && state.EffectivePercent() >= 100 ? 1 : 0) << ";\n}\n";
  }
}

void WriteCanaries(std::ostringstream& text, const RolloutState& state) {
  text << "geo $plumix_canary {\n    default 0;\n";
  if (state.Varies()) {
    for (const std::string& range : state.canaries) text << "    " << range << " 1;\n";
  }
  text << "}\n";
}

std::string HttpFile(const std::string& dir, const RolloutState& state) {
  std::ostringstream text;
  text << kHeader << "# Include it in nginx's http block; see " << kFileNames[kLocationsFile]
       << ".\n";
  if (!state.trustedProxies.empty()) {
    for (const std::string& range : state.trustedProxies) {
      text << "set_real_ip_from " << range << ";\n";
    }
    text << "real_ip_header X-Forwarded-For;\nreal_ip_recursive on;\n";
  }
  WriteShare(text, dir, state);
  WriteCanaries(text, state);
  text << "map \"$plumix_canary$plumix_in_share\" $plumix_release {\n";
  if (state.Varies())
    text << "    \"00\" current;\n    default releases/" << state.candidate << ";\n";
  else
    text << "    default current;\n";
  text << "}\n";
  return text.str();
}

void WriteLocation(std::ostringstream& text, const std::string& dir, const char* path,
                   const char* cacheControl) {
  text << "location ^~ " << FolderOf(path) << " {\n"
       << "    root " << StoreFolder(dir) << "/$plumix_release;\n"
       << "    add_header Cache-Control \"" << cacheControl << "\" always;\n}\n";
}

std::string LocationsFile(const std::string& dir, const RolloutState& state) {
  std::ostringstream text;
  text << kHeader << "# Include it in each server block that serves " << dir << ".\n"
       << "location ^~ /" << kStoreFolderName << "/ {\n    return 404;\n}\n";
  bool varies = state.Varies();
  WriteLocation(text, dir, kManifestPath, varies ? kVaryingCacheControl : kManifestCacheControl);
  WriteLocation(text, dir, kPackageSlots[0].path,
                varies ? kVaryingCacheControl : kPackageCacheControl);
  return text.str();
}

}  // namespace

const char* NginxFileName(int file) { return kFileNames[file]; }

std::string NginxFilePath(const std::string& dir, int file) {
  return NginxFolder(dir) + "/" + kFileNames[file];
}

bool IsPathSafeForNginx(const std::string& path) {
  if (path.empty() || path.front() != '/') return false;
  for (unsigned char c : path) {
    if (c < 0x21 || c == 0x7f || c == '"' || c == '\'' || c == '\\' || c == '$' || c == ';' ||
        c == '{' || c == '}' || c == '#') {
      return false;
    }
  }
  return true;
}

NginxFiles RenderNginxFiles(const std::string& dir, const RolloutState& state) {
  NginxFiles files;
  files.text[kHttpFile] = HttpFile(dir, state);
  files.text[kLocationsFile] = LocationsFile(dir, state);
  files.text[kScriptFile] = kCohortKeyScript;
  return files;
}
