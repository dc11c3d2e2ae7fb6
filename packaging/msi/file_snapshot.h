#pragma once

#include <string>

#include "common/byte_string.h"

// A file as it was at one moment (its bytes, or that there was none), so that
// a change which fails half-way can be undone.
class FileSnapshot {
 public:
  // Reads the file at path (UTF-8). False when it exists but cannot be read:
  // then nothing could put it back, so nothing may change it.
  bool Take(const ByteString& path);

  // Puts the file back as it was when taken: the old bytes, written beside it
  // and swapped in, or no file. A file still as it was is left alone. False
  // when that fails.
  bool Restore() const;

 private:
  ByteString path_;
  bool existed_ = false;
  std::string bytes_;
};
