#include "base/file_bytes.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};
using FileOwner = std::unique_ptr<FILE, FileCloser>;

}  // namespace

bool ReadFileBytes(const std::string& path, uint64_t limit, std::string& bytes,
                   std::string& error) {
  FileOwner file(std::fopen(path.c_str(), "rb"));
  struct stat status = {};
  if (!file || fstat(fileno(file.get()), &status) != 0) {
    error = std::strerror(errno);
    return false;
  }
  if (!S_ISREG(status.st_mode)) {
    error = "not a regular file";
    return false;
  }
  if (static_cast<uint64_t>(status.st_size) > limit) {
    error =
        "larger than " + std::to_string(limit) + " bytes (" + std::to_string(status.st_size) + ")";
    return false;
  }
  bytes.resize(static_cast<size_t>(status.st_size));
  if (!bytes.empty() && std::fread(&bytes[0], 1, bytes.size(), file.get()) != bytes.size()) {
    error = "read failed";
    return false;
  }
  // A file that grew while it was read is still read only to its first size.
  return true;
}
