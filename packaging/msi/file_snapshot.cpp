#include "file_snapshot.h"

#include <cerrno>
#include <cstdio>
#include <memory>

#include "settings/settings_file_io.h"

namespace {

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<FILE, FileCloser>;

// The whole file, or existed false when there is none; false when it exists
// but cannot be read.
bool ReadWholeFile(const ByteString& path, bool& existed, std::string& bytes) {
  errno = 0;
  UniqueFile file(OpenFileUtf8(path, "rb"));
  if (!file) {
    existed = false;
    bytes.clear();
    return errno == ENOENT;
  }
  existed = true;
  bytes.clear();
  char buffer[4096];
  std::size_t count;
  while ((count = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
    bytes.append(buffer, count);
  }
  return std::ferror(file.get()) == 0;
}

bool ReplaceWithBytes(const ByteString& path, const std::string& bytes) {
  ByteString tempPath;
  FILE* temp = CreateTempFileBeside(path, tempPath);
  if (temp == nullptr) return false;
  bool written = std::fwrite(bytes.data(), 1, bytes.size(), temp) == bytes.size() &&
                 FlushFileToDisk(temp);
  bool closed = std::fclose(temp) == 0;
  if (written && closed && ReplaceFileWith(tempPath, path)) return true;
  RemoveFileUtf8(tempPath);
  return false;
}

}  // namespace

bool FileSnapshot::Take(const ByteString& path) {
  path_ = path;
  return ReadWholeFile(path_, existed_, bytes_);
}

bool FileSnapshot::Restore() const {
  bool existsNow = false;
  std::string bytesNow;
  if (ReadWholeFile(path_, existsNow, bytesNow) && existsNow == existed_ && bytesNow == bytes_) {
    return true;
  }
  return existed_ ? ReplaceWithBytes(path_, bytes_) : RemoveFileUtf8(path_);
}
