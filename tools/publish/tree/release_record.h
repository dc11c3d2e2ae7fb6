#pragma once

#include <cstdint>
#include <string>

#include "pe/file_version.h"
#include "tree/release_layout.h"

// release.json at the tree's root: what a release announced and the size and
// SHA-256 of each file the clients fetch, so that a later check can tell a
// tree altered after publishing.
struct ReleaseRecord {
  struct File {
    std::string path;  // relative to the tree's root
    uint64_t size = 0;
    std::string sha256;
  };
  FileVersion activeX;
  FileVersion plugin;
  uint32_t checkFrequency = 0;
  std::string signerSubject;
  std::string signerExpiry;
  File manifest;
  File packages[kPackageCount];  // in the order of kPackageSlots
};

// The record as indented JSON text.
std::string ReleaseRecordText(const ReleaseRecord& record);

// Reads the files' sizes and digests back from JSON text. False for text
// that is not such a record (a missing file entry, a field of a wrong type).
bool ParseReleaseRecordFiles(const std::string& text, ReleaseRecord& record);
