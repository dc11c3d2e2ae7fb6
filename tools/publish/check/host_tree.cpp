#include "check/host_tree.h"

#include <cstdio>

#include "fetch/http_fetch.h"
#include "net/download_limits.h"

namespace {

// Far above any real manifest; only keeps a huge answer out of memory.
constexpr uint64_t kMostManifestBytes = 16u * 1024u * 1024u;

bool FetchFile(const FetchRequest& request, const char* overLimit, std::string& body,
               Findings& findings) {
  std::printf("fetching %s\n", request.url.c_str());
  std::fflush(stdout);
  FetchResult result;
  std::string error;
  if (!Fetch(request, result, error)) {
    if (error.rfind("the answer is longer", 0) == 0) error += overLimit;
    findings.Refuse(request.url, "could not be fetched: " + error);
    return false;
  }
  if (result.status != 200) {
    findings.Warn(request.url, "answered HTTP " + std::to_string(result.status) +
                                   "; clients use the body whatever the status");
  }
  body = std::move(result.body);
  return true;
}

}  // namespace

void LoadTreeFromHost(const std::string& host, const std::string& caFile, PublishedTree& tree,
                      Findings& findings) {
  FetchRequest manifest;
  manifest.url = "https://" + host + "/" + kManifestPath;
  manifest.userAgent = kManifestUserAgent;
  manifest.caFile = caFile;
  manifest.maxBytes = kMostManifestBytes;
  manifest.timeoutSeconds = 300;
  tree.manifestName = manifest.url;
  tree.hasManifest = FetchFile(manifest, "", tree.manifest, findings);
  for (int i = 0; i < kPackageCount; ++i) {
    FetchRequest package;
    package.url = "http://" + host + "/" + kPackageSlots[i].path;
    package.userAgent = kPackageUserAgent;
    package.maxBytes = kMaxPackageBytes;
    package.timeoutSeconds = kMaxDownloadSeconds;
    tree.packageNames[i] = package.url;
    tree.hasPackage[i] = FetchFile(package, ": the service does not download packages that large",
                                   tree.packages[i], findings);
  }
}
