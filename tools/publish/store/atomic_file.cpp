#include "store/atomic_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "store/descriptor.h"

namespace {

bool Fail(std::string& error, const std::string& what) {
  error = what + ": " + std::strerror(errno);
  return false;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool WriteAll(int fd, const std::string& bytes) {
  size_t written = 0;
  while (written < bytes.size()) {
    ssize_t count = write(fd, bytes.data() + written, bytes.size() - written);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return false;
    written += static_cast<size_t>(count);
  }
  return true;
}

}  // namespace

bool SyncFolder(const std::string& path) {
  Descriptor folder(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return folder.get() >= 0 && fsync(folder.get()) == 0;
}

bool ReplaceFileAtomically(const std::string& path, const std::string& bytes, std::string& error) {
  std::string fresh = path + ".new";
  {
    Descriptor fd(open(fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (fd.get() < 0) return Fail(error, fresh);
    if (!WriteAll(fd.get(), bytes) || fsync(fd.get()) != 0) {
      Fail(error, fresh);
      unlink(fresh.c_str());
      return false;
    }
  }
  if (rename(fresh.c_str(), path.c_str()) != 0) {
    Fail(error, path);
    unlink(fresh.c_str());
    return false;
  }
  if (!SyncFolder(FolderOf(path))) return Fail(error, FolderOf(path));
  return true;
}
