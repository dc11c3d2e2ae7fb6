#include "release/tree_writer.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "store/descriptor.h"

namespace {

std::string ParentOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool SyncPath(const std::string& path) {
  Descriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  return fd.get() >= 0 && fsync(fd.get()) == 0;
}

bool Fail(std::string& error, const std::string& what) {
  error = what + ": " + std::strerror(errno);
  return false;
}

bool MakeFolders(const std::string& root, const std::string& relative, std::string& error) {
  size_t at = 0;
  while ((at = relative.find('/', at)) != std::string::npos) {
    std::string folder = root + "/" + relative.substr(0, at++);
    if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) return Fail(error, folder);
  }
  return true;
}

// Flushes every folder of the tree, each after the folders inside it.
bool SyncFolders(const std::string& root) {
  std::error_code error;
  std::vector<std::string> folders{root};
  for (std::filesystem::recursive_directory_iterator entry(root, error), end;
       !error && entry != end; entry.increment(error)) {
    if (entry->is_directory(error)) folders.push_back(entry->path().string());
  }
  if (error) return false;
  for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) {
    if (!SyncPath(*folder)) return false;
  }
  return true;
}

}  // namespace

bool RemoveTree(const std::string& path) {
  std::error_code error;
  std::filesystem::remove_all(path, error);
  return !error;
}

TreeWriter::TreeWriter(std::string target, std::string stagingParent)
    : target_(std::move(target)), stagingParent_(std::move(stagingParent)) {
  while (target_.size() > 1 && target_.back() == '/') target_.pop_back();
}

TreeWriter::~TreeWriter() {
  if (!staging_.empty()) RemoveTree(staging_);
}

bool TreeWriter::Begin(std::string& error) {
  std::string pattern = stagingParent_ + "/staging-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (mkdtemp(name.data()) == nullptr) return Fail(error, pattern);
  staging_ = name.data();
  return true;
}

bool TreeWriter::WriteFile(const std::string& relativePath, const std::string& bytes,
                           std::string& error) {
  if (!MakeFolders(staging_, relativePath, error)) return false;
  std::string path = staging_ + "/" + relativePath;
  Descriptor fd(open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
  if (fd.get() < 0) return Fail(error, path);
  size_t written = 0;
  while (written < bytes.size()) {
    ssize_t count = write(fd.get(), bytes.data() + written, bytes.size() - written);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return Fail(error, path);
    written += static_cast<size_t>(count);
  }
  if (fsync(fd.get()) != 0) return Fail(error, path);
  return true;
}

bool TreeWriter::Commit(std::string& error) {
  // mkdtemp made the folder private; a served tree is readable by the server.
  if (chmod(staging_.c_str(), 0755) != 0) return Fail(error, staging_);
  if (!SyncFolders(staging_)) return Fail(error, "flushing " + staging_);
  struct stat existing = {};
  bool replace = lstat(target_.c_str(), &existing) == 0;
  if (replace && !S_ISDIR(existing.st_mode)) {
    errno = ENOTDIR;
    return Fail(error, target_);
  }
  if (renameat2(AT_FDCWD, staging_.c_str(), AT_FDCWD, target_.c_str(),
                replace ? RENAME_EXCHANGE : RENAME_NOREPLACE) != 0) {
    return Fail(error, "putting the new tree in place at " + target_);
  }
  if (!SyncPath(ParentOf(target_))) return Fail(error, ParentOf(target_));
  // After an exchange the staging name holds the old tree; after a plain
  // rename it names nothing.
  if (replace && !RemoveTree(staging_)) return Fail(error, "removing the old tree " + staging_);
  staging_.clear();
  return true;
}
