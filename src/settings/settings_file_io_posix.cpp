#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "settings/settings_file_io.h"

FILE* OpenFileUtf8(const ByteString& path, const char* mode) { return std::fopen(path.c_str(), mode); }

FILE* CreateTempFileBeside(const ByteString& path, ByteString& tempPath) {
  std::string name(path.c_str());
  std::string::size_type slash = name.find_last_of('/');
  std::string folder = slash == std::string::npos ? std::string(".") : name.substr(0, slash);
  std::string pattern = folder + "/ksmXXXXXX";
  int descriptor = mkstemp(&pattern[0]);
  if (descriptor < 0) return nullptr;
  FILE* file = fdopen(descriptor, "wb");
  if (file == nullptr) {
    close(descriptor);
    std::remove(pattern.c_str());
    return nullptr;
  }
  tempPath = ByteString(pattern.c_str());
  return file;
}

bool FlushFileToDisk(FILE* file) { return std::fflush(file) == 0 && fsync(fileno(file)) == 0; }

bool ReplaceFileWith(const ByteString& tempPath, const ByteString& path) {
  return std::rename(tempPath.c_str(), path.c_str()) == 0;
}

bool RemoveFileUtf8(const ByteString& path) { return std::remove(path.c_str()) == 0; }
