#include "pe/file_version.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

namespace {

const char kFixedInfoSignature[] = "\xBD\x04\xEF\xFE";

std::string ReadInstaller(const char* name) {
  std::ifstream file(std::string(PLUMIX_TEST_INSTALLERS_DIR) + "/" + name, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

TEST(FileVersionTest, ReadsTheFixedVersionOfPe32AndPe32Plus) {
  for (const char* name : {"installer-32.exe", "installer-64.exe"}) {
    SCOPED_TRACE(name);
    std::string image = ReadInstaller(name);
    ASSERT_GT(image.size(), 1000u);
    FileVersion version;
    std::string reason;
    ASSERT_TRUE(ReadFileVersion(image, version, reason)) << reason;
    EXPECT_EQ(VersionText(version), "12.3.456.7890");
  }
}

TEST(FileVersionTest, RefusesWhatIsNoExecutableWithAVersion) {
  const struct {
    std::string bytes;
    const char* reason;
  } cases[] = {
      {"", "no MZ header"},
      {"MZ", "no MZ header"},
      {"#!/bin/sh\necho installer\n", "no MZ header"},
      {std::string("MZ") + std::string(58, '\0') + std::string("\xF0\xFF\xFF\x7F", 4),
       "no PE header"},
  };
  for (const auto& test : cases) {
    FileVersion version;
    std::string reason;
    EXPECT_FALSE(ReadFileVersion(test.bytes, version, reason));
    EXPECT_NE(reason.find(test.reason), std::string::npos) << reason;
  }
}

std::string VersionAt(const std::string& image, size_t fixedInfo) {
  auto word = [&](size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(image[at]) |
                                 static_cast<unsigned char>(image[at + 1]) << 8);
  };
  FileVersion version{word(fixedInfo + 10), word(fixedInfo + 8), word(fixedInfo + 14),
                      word(fixedInfo + 12)};
  return VersionText(version);
}

// Every cut of a real image, and every byte of it changed, is read within
// bounds (the sanitizers watch) and yields either a reason or the version the
// damaged image carries: the original one, or the one changed in place.
TEST(FileVersionTest, ReadsDamagedImagesWithinBounds) {
  for (const char* name : {"installer-32.exe", "installer-64.exe"}) {
    SCOPED_TRACE(name);
    const std::string image = ReadInstaller(name);
    const size_t fixedInfo = image.find(std::string(kFixedInfoSignature, 4));
    ASSERT_NE(fixedInfo, std::string::npos);
    FileVersion version;
    std::string reason;
    for (size_t length = 0; length < image.size(); length += 7) {
      if (ReadFileVersion(std::string_view(image).substr(0, length), version, reason)) {
        EXPECT_EQ(VersionText(version), "12.3.456.7890");
      }
    }
    size_t accepted = 0;
    for (size_t at = 0; at < image.size(); ++at) {
      std::string damaged = image;
      damaged[at] = static_cast<char>(damaged[at] ^ 0xA5);
      reason.clear();
      if (ReadFileVersion(damaged, version, reason)) {
        ++accepted;
        EXPECT_EQ(VersionText(version), VersionAt(damaged, fixedInfo)) << "byte " << at;
      } else {
        EXPECT_FALSE(reason.empty()) << "byte " << at;
      }
    }
    // Most bytes (code, padding) do not matter to the version.
    EXPECT_GT(accepted, image.size() / 2);
  }
}

// Writes value little-endian in bytes (at most 4) bytes at at, growing image.
void PutLe(std::string& image, size_t at, uint32_t value, int bytes) {
  if (image.size() < at + bytes) image.resize(at + bytes);
  for (int i = 0; i < bytes; ++i) image[at + i] = static_cast<char>(value >> 8 * i & 0xFF);
}

// A PE32 image with one section whose raw data is resources, at RVA 0x1000.
class ResourceImage {
 public:
  static constexpr uint32_t kSectionRva = 0x1000;
  static constexpr uint32_t kSectionOffset = 0x200;

  // A directory of count numbered entries, all with id, all pointing to
  // target (a subdirectory or a data entry); returns its offset.
  uint32_t Directory(uint32_t count, uint32_t id, uint32_t target, bool subdirectory) {
    uint32_t offset = Next();
    resources_.append(12, '\0');
    Put(0, 2);
    Put(count, 2);
    for (uint32_t i = 0; i < count; ++i) {
      Put(id, 4);
      Put(target | (subdirectory ? 0x80000000u : 0), 4);
    }
    return offset;
  }

  // Where the next piece will start.
  uint32_t Next() const { return static_cast<uint32_t>(resources_.size()); }

  // A data entry for a VS_VERSIONINFO block that follows it directly.
  void VersionData(uint16_t major, uint16_t minor, uint16_t build, uint16_t revision) {
    for (uint32_t value : {kSectionRva + Next() + 16, 92u, 0u, 0u}) Put(value, 4);
    for (uint16_t value : {92, 52, 0}) Put(value, 2);
    for (char16_t unit : std::u16string(u"VS_VERSION_INFO")) Put(unit, 2);
    Put(0, 4);  // the name's end and the padding to the 32-bit boundary
    for (uint32_t value : {0xFEEF04BDu, 0x00010000u, uint32_t{major} << 16 | minor,
                           uint32_t{build} << 16 | revision}) {
      Put(value, 4);
    }
    resources_.append(36, '\0');
  }

  std::string Image() const {
    std::string image(kSectionOffset, '\0');
    const uint32_t size = Next();
    const size_t section = 0x58 + 224;
    const struct {
      size_t at;
      uint32_t value;
      int bytes;
    } fields[] = {{0, 'M' | 'Z' << 8, 2},
                  {0x3C, 0x40, 4},
                  {0x40, 0x00004550, 4},
                  {0x44, 0x14C, 2},  // i386
                  {0x46, 1, 2},      // one section
                  {0x54, 224, 2},    // optional header size
                  {0x58, 0x10B, 2},  // PE32
                  {0x58 + 92, 16, 4},  // data directories
                  {0x58 + 96 + 16, kSectionRva, 4},  // resources
                  {0x58 + 96 + 20, size, 4},
                  {section + 8, size, 4},
                  {section + 12, kSectionRva, 4},
                  {section + 16, size, 4},
                  {section + 20, kSectionOffset, 4}};
    for (const auto& field : fields) PutLe(image, field.at, field.value, field.bytes);
    return image + resources_;
  }

 private:
  void Put(uint32_t value, int bytes) { PutLe(resources_, resources_.size(), value, bytes); }

  std::string resources_;
};

// Directories of 4,096 entries that all point to one subdirectory: read
// naively, the first file means 4,096 x 4,096 language lookups, the second
// 4,096 x 4,096 x 4,096 data entries. Each directory is read once instead.
TEST(FileVersionTest, ReadsSharedResourceDirectoriesOnce) {
  constexpr uint32_t kMost = 4096;
  constexpr uint32_t kDirectoryBytes = 16 + 8 * kMost;
  const struct {
    const char* label;
    uint32_t languages;
    size_t kilobytes;
  } cases[] = {{"one language", 1, 66}, {"4,096 languages", kMost, 99}};
  for (const auto& test : cases) {
    SCOPED_TRACE(test.label);
    ResourceImage builder;
    uint32_t names = kDirectoryBytes;
    uint32_t languages = names + kDirectoryBytes;
    uint32_t data = languages + 16 + 8 * test.languages;
    ASSERT_EQ(builder.Directory(kMost, 16, names, true), 0u);
    ASSERT_EQ(builder.Directory(kMost, 1, languages, true), names);
    ASSERT_EQ(builder.Directory(test.languages, 1033, data, false), languages);
    ASSERT_EQ(builder.Next(), data);
    builder.VersionData(7, 1, 2, 3);
    std::string image = builder.Image();
    EXPECT_EQ((image.size() + 500) / 1000, test.kilobytes);

    FileVersion version;
    std::string reason;
    ResourceWalkCounts counts;
    ASSERT_TRUE(ReadFileVersion(image, version, reason, &counts)) << reason;
    EXPECT_EQ(VersionText(version), "7.1.2.3");
    EXPECT_EQ(counts.directories, 3u);
    EXPECT_EQ(counts.entries, 2 * kMost + test.languages);
  }
}

TEST(FileVersionTest, RefusesAnImageWhoseVersionBlockLostItsSignature) {
  std::string image = ReadInstaller("installer-64.exe");
  size_t signature = image.find(std::string(kFixedInfoSignature, 4));
  ASSERT_NE(signature, std::string::npos);
  image[signature] = 0;
  FileVersion version;
  std::string reason;
  EXPECT_FALSE(ReadFileVersion(image, version, reason));
  EXPECT_EQ(reason, "the version resource is damaged");
}

}  // namespace
