#include "fuzz/memory_settings_io.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "settings/settings_file_io.h"

namespace {

// A file open for writing: open_memstream keeps its buffer and size up to
// date at every flush and at the close.
struct WrittenFile {
  char* buffer = nullptr;
  size_t size = 0;
};

std::map<std::string, std::string>& Files() {
  static std::map<std::string, std::string> files;
  return files;
}

std::map<std::string, WrittenFile>& OpenWrites() {
  static std::map<std::string, WrittenFile> writes;
  return writes;
}

int temporaryCount = 0;

}  // namespace

void SetMemoryFile(const std::string& path, const std::string& bytes) { Files()[path] = bytes; }

bool GetMemoryFile(const std::string& path, std::string& bytes) {
  auto file = Files().find(path);
  if (file == Files().end()) return false;
  bytes = file->second;
  return true;
}

void ClearMemoryFiles() {
  Files().clear();
  for (auto& write : OpenWrites()) std::free(write.second.buffer);
  OpenWrites().clear();
}

// fmemopen refuses a buffer of size 0, so an empty file reads from a
// one-byte buffer whose single byte lies past the end that "r" mode sets.
FILE* OpenFileUtf8(const ByteString& path, const char* mode) {
  if (std::strcmp(mode, "rb") != 0) return nullptr;
  auto file = Files().find(path.c_str());
  if (file == Files().end()) return nullptr;
  std::string& bytes = file->second;
  if (bytes.empty()) {
    static char none[1] = {0};
    FILE* empty = fmemopen(none, 1, "r");
    if (empty != nullptr) std::fgetc(empty);
    return empty;
  }
  return fmemopen(&bytes[0], bytes.size(), "rb");
}

FILE* CreateTempFileBeside(const ByteString& path, ByteString& tempPath) {
  std::string name = std::string(path.c_str()) + ".tmp" + std::to_string(++temporaryCount);
  WrittenFile& write = OpenWrites()[name];
  FILE* file = open_memstream(&write.buffer, &write.size);
  if (file == nullptr) {
    OpenWrites().erase(name);
    return nullptr;
  }
  tempPath = ByteString(name.c_str());
  return file;
}

bool FlushFileToDisk(FILE* file) { return std::fflush(file) == 0; }

bool ReplaceFileWith(const ByteString& tempPath, const ByteString& path) {
  auto write = OpenWrites().find(tempPath.c_str());
  if (write == OpenWrites().end()) return false;
  Files()[path.c_str()] = std::string(write->second.buffer, write->second.size);
  std::free(write->second.buffer);
  OpenWrites().erase(write);
  return true;
}

bool RemoveFileUtf8(const ByteString& path) {
  auto write = OpenWrites().find(path.c_str());
  if (write != OpenWrites().end()) {
    std::free(write->second.buffer);
    OpenWrites().erase(write);
    return true;
  }
  return Files().erase(path.c_str()) == 1;
}
