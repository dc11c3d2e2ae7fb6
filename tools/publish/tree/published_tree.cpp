#include "tree/published_tree.h"

#include "base/file_bytes.h"
#include "net/download_limits.h"

namespace {

// Far above any real manifest; only keeps a stray huge file out of memory.
constexpr uint64_t kMostManifestBytes = 16u * 1024u * 1024u;

bool Load(const std::string& path, const std::string& shownPath, uint64_t limit, std::string& bytes,
          Findings& findings, const char* limitMeaning) {
  std::string error;
  if (ReadFileBytes(path, limit, bytes, error)) return true;
  if (error.rfind("larger than", 0) == 0) error += limitMeaning;
  findings.Refuse(shownPath, error);
  return false;
}

}  // namespace

void LoadTreeFromFolder(const std::string& root, const std::string& shownRoot, PublishedTree& tree,
                        Findings& findings) {
  tree.manifestName = shownRoot + "/" + kManifestPath;
  tree.hasManifest = Load(root + "/" + kManifestPath, tree.manifestName, kMostManifestBytes,
                          tree.manifest, findings, "");
  for (int i = 0; i < kPackageCount; ++i) {
    tree.packageNames[i] = shownRoot + "/" + kPackageSlots[i].path;
    tree.hasPackage[i] =
        Load(root + "/" + kPackageSlots[i].path, tree.packageNames[i], kMaxPackageBytes,
             tree.packages[i], findings, ": the service does not download packages that large");
  }
}
