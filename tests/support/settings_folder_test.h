#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "common/byte_string.h"

// A ksm.cfg path in a folder of the test's own, removed afterwards, with the
// file's bytes read and written whole.
class SettingsFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    folder_ = std::filesystem::temp_directory_path() /
              ("plumix-settings-" + std::to_string(random()));
    std::filesystem::create_directories(folder_);
    path_ = folder_ / "ksm.cfg";
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  ByteString Path() const { return ByteString(path_.u8string().c_str()); }

  void Write(const std::string& bytes) const {
    std::ofstream out(path_, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

  std::string Read() const {
    std::ifstream in(path_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  size_t FilesInFolder() const {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(folder_),
                                             std::filesystem::directory_iterator()));
  }

  std::filesystem::path folder_;
  std::filesystem::path path_;
};
