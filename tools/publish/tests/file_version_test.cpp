#include "pe/file_version.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

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

// Every cut of a real image, and every byte of it changed, is read within
// bounds (the sanitizers watch) and never yields a version it does not carry.
TEST(FileVersionTest, ReadsDamagedImagesWithinBounds) {
  for (const char* name : {"installer-32.exe", "installer-64.exe"}) {
    const std::string image = ReadInstaller(name);
    FileVersion version;
    std::string reason;
    for (size_t length = 0; length < image.size(); length += 7) {
      if (ReadFileVersion(std::string_view(image).substr(0, length), version, reason)) {
        EXPECT_EQ(VersionText(version), "12.3.456.7890");
      }
    }
    for (size_t at = 0; at < image.size(); ++at) {
      std::string damaged = image;
      damaged[at] = static_cast<char>(damaged[at] ^ 0xA5);
      ReadFileVersion(damaged, version, reason);
    }
  }
}

TEST(FileVersionTest, RefusesAnImageWhoseVersionBlockLostItsSignature) {
  std::string image = ReadInstaller("installer-64.exe");
  size_t signature = image.find(std::string("\xBD\x04\xEF\xFE", 4));
  ASSERT_NE(signature, std::string::npos);
  image[signature] = 0;
  FileVersion version;
  std::string reason;
  EXPECT_FALSE(ReadFileVersion(image, version, reason));
  EXPECT_EQ(reason, "the version resource is damaged");
}

}  // namespace
