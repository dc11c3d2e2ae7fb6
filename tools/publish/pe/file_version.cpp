#include "pe/file_version.h"

#include <set>
#include <vector>

namespace {

constexpr uint32_t kResourceDirectoryIndex = 2;
constexpr uint32_t kPe32PlusMagic = 0x20B;
constexpr uint32_t kVersionResourceType = 16;  // RT_VERSION
constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr uint32_t kSubdirectoryFlag = 0x80000000u;
// A directory entry is 8 bytes; more than this many in one directory is no
// real image and only costs time.
constexpr uint32_t kMostEntries = 4096;

// Little-endian reads that fail instead of reading past the end.
class Bytes {
 public:
  explicit Bytes(std::string_view data) : data_(data) {}

  bool Has(uint64_t offset, uint64_t length) const {
    return offset <= data_.size() && length <= data_.size() - offset;
  }
  bool U16(uint64_t offset, uint32_t& value) const {
    if (!Has(offset, 2)) return false;
    value = Byte(offset) | Byte(offset + 1) << 8;
    return true;
  }
  bool U32(uint64_t offset, uint32_t& value) const {
    if (!Has(offset, 4)) return false;
    value = Byte(offset) | Byte(offset + 1) << 8 | Byte(offset + 2) << 16 |
            static_cast<uint32_t>(Byte(offset + 3)) << 24;
    return true;
  }
  std::string_view View(uint64_t offset, uint64_t length) const {
    return data_.substr(static_cast<size_t>(offset), static_cast<size_t>(length));
  }

 private:
  uint32_t Byte(uint64_t offset) const { return static_cast<unsigned char>(data_[offset]); }
  std::string_view data_;
};

struct Section {
  uint32_t virtualAddress;
  uint32_t virtualSize;
  uint32_t rawSize;
  uint32_t rawOffset;
};

struct Image {
  std::vector<Section> sections;
  uint32_t resourceRva = 0;
  uint32_t resourceSize = 0;
};

bool Fail(std::string& reason, const char* text) {
  reason = text;
  return false;
}

// Where the COFF header starts, and the optional header's magic number.
bool ReadMagic(const Bytes& file, uint64_t& coff, uint32_t& magic, std::string& reason) {
  uint32_t mz = 0;
  uint32_t peOffset = 0;
  if (!file.U16(0, mz) || mz != 0x5A4D || !file.U32(0x3C, peOffset)) {
    return Fail(reason, "not a Windows executable (no MZ header)");
  }
  uint32_t signature = 0;
  if (!file.U32(peOffset, signature) || signature != 0x00004550) {
    return Fail(reason, "not a Windows executable (no PE header)");
  }
  coff = uint64_t{peOffset} + 4;
  if (!file.U16(coff + 20, magic)) return Fail(reason, "truncated PE header");
  return true;
}

bool ReadHeaders(const Bytes& file, Image& image, std::string& reason) {
  uint64_t coff = 0;
  uint32_t magic = 0;
  if (!ReadMagic(file, coff, magic, reason)) return false;
  uint32_t sectionCount = 0;
  uint32_t optionalSize = 0;
  if (!file.U16(coff + 2, sectionCount) || !file.U16(coff + 16, optionalSize)) {
    return Fail(reason, "truncated PE header");
  }
  uint64_t optional = coff + 20;
  // PE32 and PE32+ differ in where the data directories start.
  uint64_t directories = magic == 0x10B ? optional + 96 : optional + 112;
  if (magic != 0x10B && magic != kPe32PlusMagic) return Fail(reason, "unknown PE optional header");
  uint32_t directoryCount = 0;
  if (!file.U32(directories - 4, directoryCount)) return Fail(reason, "truncated PE header");
  uint64_t resourceEntry = directories + 8 * kResourceDirectoryIndex;
  if (directoryCount <= kResourceDirectoryIndex || resourceEntry + 8 > optional + optionalSize ||
      !file.U32(resourceEntry, image.resourceRva) ||
      !file.U32(resourceEntry + 4, image.resourceSize) || image.resourceRva == 0) {
    return Fail(reason, "the executable has no resources, so no version resource");
  }
  uint64_t table = optional + optionalSize;
  for (uint32_t i = 0; i < sectionCount; ++i) {
    uint64_t at = table + 40 * uint64_t{i};
    Section section = {};
    if (!file.U32(at + 8, section.virtualSize) || !file.U32(at + 12, section.virtualAddress) ||
        !file.U32(at + 16, section.rawSize) || !file.U32(at + 20, section.rawOffset)) {
      return Fail(reason, "truncated section table");
    }
    image.sections.push_back(section);
  }
  return true;
}

// The file offset of length bytes at rva, all inside one section's raw data.
bool RvaToOffset(const Image& image, const Bytes& file, uint64_t rva, uint64_t length,
                 uint64_t& offset) {
  for (const Section& section : image.sections) {
    if (rva < section.virtualAddress) continue;
    uint64_t into = rva - section.virtualAddress;
    if (into > section.rawSize || length > section.rawSize - into) continue;
    offset = uint64_t{section.rawOffset} + into;
    return file.Has(offset, length);
  }
  return false;
}

// The fixed version inside one VS_VERSIONINFO block.
bool ReadFixedInfo(std::string_view block, FileVersion& version) {
  Bytes info(block);
  uint32_t length = 0;
  uint32_t valueLength = 0;
  if (!info.U16(0, length) || !info.U16(2, valueLength) || length > block.size()) return false;
  static const char16_t kKey[] = u"VS_VERSION_INFO";
  uint64_t key = 6;
  for (size_t i = 0; i < sizeof(kKey) / sizeof(kKey[0]); ++i) {
    uint32_t unit = 0;
    if (!info.U16(key + 2 * i, unit) || unit != kKey[i]) return false;
  }
  // The value starts at the next 32-bit boundary after the key's terminator.
  uint64_t value = (key + sizeof(kKey) + 3) & ~uint64_t{3};
  uint32_t signature = 0;
  uint32_t high = 0;
  uint32_t low = 0;
  if (valueLength < 52 || value + 52 > length || !info.U32(value, signature) ||
      signature != kFixedInfoSignature || !info.U32(value + 8, high) ||
      !info.U32(value + 12, low)) {
    return false;
  }
  version = FileVersion{high >> 16, high & 0xFFFF, low >> 16, low & 0xFFFF};
  return true;
}

struct Entry {
  uint32_t id;
  uint32_t target;  // offset from the resource directory's start
  bool subdirectory;
};

// Walks the resource tree so that a hostile file cannot multiply the work:
// each directory is read once, however many entries point to it, so the
// entries read (and the data entries they lead to) are at most the file's
// size / 8.
class ResourceWalk {
 public:
  ResourceWalk(const Image& image, const Bytes& file, ResourceWalkCounts& counts)
      : image_(image), file_(file), counts_(counts) {}

  // The entries of the directory at offset (relative to the resource
  // directory's start); none for a directory read before.
  bool ReadDirectory(uint32_t offset, std::vector<Entry>& entries);

  // Adds the fixed version of the data entry at offset to versions.
  bool ReadVersionData(uint32_t offset, std::vector<FileVersion>& versions);

 private:
  bool ToOffset(uint64_t offsetInResources, uint64_t length, uint64_t& offset) const {
    return RvaToOffset(image_, file_, uint64_t{image_.resourceRva} + offsetInResources, length,
                       offset);
  }

  const Image& image_;
  const Bytes& file_;
  ResourceWalkCounts& counts_;
  std::set<uint32_t> directoriesRead_;
};

bool ResourceWalk::ReadDirectory(uint32_t offset, std::vector<Entry>& entries) {
  entries.clear();
  if (!directoriesRead_.insert(offset).second) return true;
  ++counts_.directories;
  uint64_t at = 0;
  if (!ToOffset(offset, 16, at)) return false;
  uint32_t named = 0;
  uint32_t numbered = 0;
  file_.U16(at + 12, named);
  file_.U16(at + 14, numbered);
  uint32_t count = named + numbered;
  uint64_t first = 0;
  if (count > kMostEntries || !ToOffset(uint64_t{offset} + 16, 8 * uint64_t{count}, first)) {
    return false;
  }
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t name = 0;
    uint32_t target = 0;
    file_.U32(first + 8 * uint64_t{i}, name);
    file_.U32(first + 8 * uint64_t{i} + 4, target);
    entries.push_back({name, target & ~kSubdirectoryFlag, (target & kSubdirectoryFlag) != 0});
  }
  counts_.entries += count;
  return true;
}

bool ResourceWalk::ReadVersionData(uint32_t offset, std::vector<FileVersion>& versions) {
  uint64_t dataEntry = 0;
  uint32_t dataRva = 0;
  uint32_t dataSize = 0;
  uint64_t data = 0;
  FileVersion version;
  if (!ToOffset(offset, 16, dataEntry) || !file_.U32(dataEntry, dataRva) ||
      !file_.U32(dataEntry + 4, dataSize) || !RvaToOffset(image_, file_, dataRva, dataSize, data) ||
      !ReadFixedInfo(file_.View(data, dataSize), version)) {
    return false;
  }
  versions.push_back(version);
  return true;
}

// Each data entry below a version resource: names, then languages.
bool ReadVersionEntries(ResourceWalk& walk, uint32_t typeDirectory,
                        std::vector<FileVersion>& versions) {
  std::vector<Entry> names;
  if (!walk.ReadDirectory(typeDirectory, names)) return false;
  for (const Entry& name : names) {
    std::vector<Entry> languages;
    if (!name.subdirectory || !walk.ReadDirectory(name.target, languages)) return false;
    for (const Entry& language : languages) {
      if (language.subdirectory || !walk.ReadVersionData(language.target, versions)) return false;
    }
  }
  return true;
}

}  // namespace

bool operator==(const FileVersion& a, const FileVersion& b) {
  return a.major == b.major && a.minor == b.minor && a.buildMajor == b.buildMajor &&
         a.buildMinor == b.buildMinor;
}

std::string VersionText(const FileVersion& version) {
  return std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
         std::to_string(version.buildMajor) + "." + std::to_string(version.buildMinor);
}

bool ReadFileVersion(std::string_view bytes, FileVersion& version, std::string& reason,
                     ResourceWalkCounts* counts) {
  ResourceWalkCounts unused;
  Bytes file(bytes);
  Image image;
  if (!ReadHeaders(file, image, reason)) return false;
  ResourceWalk walk(image, file, counts != nullptr ? *counts : unused);
  std::vector<Entry> types;
  if (!walk.ReadDirectory(0, types)) {
    return Fail(reason, "the resource directory lies outside the file");
  }
  // Version resources live under their type at the top level only.
  std::vector<FileVersion> versions;
  for (const Entry& type : types) {
    if (type.id != kVersionResourceType) continue;
    if (!type.subdirectory || !ReadVersionEntries(walk, type.target, versions)) {
      return Fail(reason, "the version resource is damaged");
    }
  }
  if (versions.empty()) return Fail(reason, "the executable has no version resource");
  for (const FileVersion& other : versions) {
    if (!(other == versions[0])) {
      return Fail(reason, "the version resources of the executable carry different versions");
    }
  }
  version = versions[0];
  return true;
}

bool IsPe32PlusImage(std::string_view bytes) {
  uint64_t coff = 0;
  uint32_t magic = 0;
  std::string reason;
  return ReadMagic(Bytes(bytes), coff, magic, reason) && magic == kPe32PlusMagic;
}
