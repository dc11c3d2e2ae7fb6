#include "store/stored_release.h"

#include "base/file_bytes.h"
#include "store/store_layout.h"

namespace {

constexpr uint64_t kRecordLimit = 1 << 20;

}  // namespace

bool LoadStoredRelease(const std::string& dir, const std::string& name, ReleaseRecord& record,
                       std::string& error) {
  if (!IsReleaseName(name)) {
    error = "\"" + name + "\" is not the name of a release";
    return false;
  }
  std::string path = ReleaseFolder(dir, name) + "/" + kReleaseRecordPath;
  std::string text;
  if (!ReadFileBytes(path, kRecordLimit, text, error)) {
    error = path + ": " + error;
    return false;
  }
  if (!ParseReleaseRecordFiles(text, record)) {
    error = path + ": not a release record";
    return false;
  }
  return true;
}
