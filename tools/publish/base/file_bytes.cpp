#include "base/file_bytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int get() const { return fd_; }

 private:
  int fd_;
};

// What a file that is not a regular one is, for the refusal.
const char* KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder, not a regular file";
  if (S_ISFIFO(mode)) return "a named pipe (FIFO), not a regular file";
  if (S_ISCHR(mode)) return "a character device, not a regular file";
  if (S_ISBLK(mode)) return "a block device, not a regular file";
  if (S_ISSOCK(mode)) return "a socket, not a regular file";
  return "not a regular file";
}

bool Refuse(const std::string& reason, std::string& error) {
  error = reason;
  return false;
}

bool ReadAll(int fd, std::string& bytes, std::string& error) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t got = read(fd, &bytes[done], bytes.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return Refuse(std::string("read failed: ") + std::strerror(errno), error);
    // A file that shrank while it was read.
    if (got == 0) return Refuse("read failed: the file ended early", error);
    done += static_cast<size_t>(got);
  }
  return true;
}

bool StatRegularFile(const std::string& path, struct stat& status, std::string& error) {
  if (stat(path.c_str(), &status) != 0) return Refuse(std::strerror(errno), error);
  if (!S_ISREG(status.st_mode)) return Refuse(KindOf(status.st_mode), error);
  return true;
}

}  // namespace

bool IsRegularFile(const std::string& path, std::string& error) {
  struct stat status = {};
  return StatRegularFile(path, status, error);
}

bool ReadFileBytes(const std::string& path, uint64_t limit, std::string& bytes,
                   std::string& error) {
  // A named pipe or a device is refused before it is opened: opening the one
  // waits for a writer, opening the other may act on the device.
  struct stat before = {};
  if (!StatRegularFile(path, before, error)) return false;
  // O_NONBLOCK: should a pipe take the file's place in between, opening it
  // does not wait; the file opened must be the one examined.
  FileDescriptor file(open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  struct stat status = {};
  if (file.get() < 0 || fstat(file.get(), &status) != 0) {
    return Refuse(std::strerror(errno), error);
  }
  if (!S_ISREG(status.st_mode) || status.st_dev != before.st_dev ||
      status.st_ino != before.st_ino) {
    return Refuse("the file was replaced while it was opened", error);
  }
  if (static_cast<uint64_t>(status.st_size) > limit) {
    return Refuse(
        "larger than " + std::to_string(limit) + " bytes (" + std::to_string(status.st_size) + ")",
        error);
  }
  // A file that grew while it was read is still read only to its first size.
  bytes.resize(static_cast<size_t>(status.st_size));
  return ReadAll(file.get(), bytes, error);
}
