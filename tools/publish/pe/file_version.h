#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The fixed file version of a Windows executable: dwFileVersionMS and
// dwFileVersionLS of the VS_FIXEDFILEINFO in its RT_VERSION resource, as
// four 16-bit parts.
struct FileVersion {
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t buildMajor = 0;
  uint32_t buildMinor = 0;
};

bool operator==(const FileVersion& a, const FileVersion& b);

// "12.0.0.1".
std::string VersionText(const FileVersion& version);

// How much of a file's resource tree one read looked at.
struct ResourceWalkCounts {
  uint32_t directories = 0;  // resource directories read
  uint64_t entries = 0;      // directory entries read
};

// Reads the fixed file version of a PE file (PE32 or PE32+). Every offset
// and count in the file is checked against its bounds, so any bytes are safe
// to read, and each resource directory is read once however many entries
// point to it, so the work stays in proportion to the file's size. A file
// with several version resources (one per language, say) must carry the same
// fixed version in each, since which one Windows shows depends on the
// machine's language. False, with the reason, for a file that is not a PE
// image or has no readable version resource. counts, when given, receives
// what the read looked at.
bool ReadFileVersion(std::string_view image, FileVersion& version, std::string& reason,
                     ResourceWalkCounts* counts = nullptr);

// Whether the file is a PE32+ image: built for 64-bit Windows, it does not
// run on 32-bit Windows. False for a PE32 image and for what is no PE image.
bool IsPe32PlusImage(std::string_view image);
