#include "store/store_session.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "store/store_layout.h"

namespace {

bool Fail(std::string& error, const std::string& what) {
  error = what + ": " + std::strerror(errno);
  return false;
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

bool IsLeftover(const std::string& name) {
  return name.compare(0, 8, "staging-") == 0 ||
         (name.size() > 4 && name.compare(name.size() - 4, 4, ".new") == 0);
}

// Removes what a command killed part-way left in the store. Only a command
// holding the lock writes these names, so none of them is in use.
bool ClearLeftovers(const std::string& store, std::string& error) {
  std::error_code failure;
  for (const auto& entry : std::filesystem::directory_iterator(store, failure)) {
    if (!IsLeftover(entry.path().filename().string())) continue;
    std::filesystem::remove_all(entry.path(), failure);
    if (failure) break;
  }
  if (failure)
    error = "removing what an interrupted command left in " + store + ": " + failure.message();
  return !failure;
}

}  // namespace

bool CheckOutputFolderName(const std::string& dir, std::string& error) {
  std::string path = WithoutTrailingSlashes(dir);
  size_t slash = path.find_last_of('/');
  std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
  if (path.empty() || last == "." || last == "..") {
    error = "name the output folder itself, not a path ending in \".\" or \"..\"";
    return false;
  }
  struct stat status = {};
  if (lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode)) {
    error = "is a symbolic link; name the folder it points to";
    return false;
  }
  return true;
}

StoreSession::~StoreSession() {
  if (keep_ || dir_.empty()) return;
  std::error_code ignored;
  if (madeStore_) std::filesystem::remove_all(StoreFolder(dir_), ignored);
  if (madeDir_) rmdir(dir_.c_str());
}

bool StoreSession::MakeFolder(const std::string& path, bool& made, std::string& error) {
  if (mkdir(path.c_str(), 0755) == 0) {
    made = true;
    return true;
  }
  struct stat status = {};
  if (errno == EEXIST && lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) return true;
  if (errno == EEXIST) errno = ENOTDIR;
  return Fail(error, path);
}

bool StoreSession::Lock(std::string& error) {
  std::string path = StoreLockPath(dir_);
  lock_.Reset(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644));
  if (lock_.get() < 0) return Fail(error, path);
  if (flock(lock_.get(), LOCK_EX | LOCK_NB) == 0) return true;
  if (errno != EWOULDBLOCK) return Fail(error, path);
  error = "another plumix-publish command is changing this folder; run this one when it has ended";
  return false;
}

bool StoreSession::Open(const std::string& dir, bool create, std::string& error) {
  dir_ = WithoutTrailingSlashes(dir);
  std::string store = StoreFolder(dir_);
  struct stat status = {};
  if (!create && lstat(store.c_str(), &status) != 0) {
    error = "holds no release store; publish a release into it first";
    return false;
  }
  if (create && (!MakeFolder(dir_, madeDir_, error) || !MakeFolder(store, madeStore_, error))) {
    return false;
  }
  bool madeReleases = false;
  return Lock(error) && ClearLeftovers(store, error) &&
         MakeFolder(ReleasesFolder(dir_), madeReleases, error);
}
