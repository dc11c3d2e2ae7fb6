#include "file_snapshot.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace fs = std::filesystem;

namespace {

class FileSnapshotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    folder_ = fs::temp_directory_path() / ("plumix-snapshot-" + std::to_string(random()));
    fs::create_directories(folder_);
    path_ = folder_ / "ksm.cfg";
  }
  void TearDown() override { fs::remove_all(folder_); }

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
    return static_cast<size_t>(
        std::distance(fs::directory_iterator(folder_), fs::directory_iterator()));
  }

  fs::path folder_;
  fs::path path_;
};

}  // namespace

TEST_F(FileSnapshotTest, PutsTheOldBytesBackAfterAChange) {
  std::string old("Custom=1\r\nSilentAutoUpdateEnable=0\n\0tail", 39);
  Write(old);
  FileSnapshot snapshot;
  ASSERT_TRUE(snapshot.Take(Path()));
  Write("SilentAutoUpdateEnable=1\r\n");
  ASSERT_TRUE(snapshot.Restore());
  EXPECT_EQ(old, Read());
  EXPECT_EQ(1u, FilesInFolder());
}

TEST_F(FileSnapshotTest, RemovesAFileThatWasNotThere) {
  FileSnapshot snapshot;
  ASSERT_TRUE(snapshot.Take(Path()));
  Write("AutoUpdateDisable=0\r\n");
  ASSERT_TRUE(snapshot.Restore());
  EXPECT_FALSE(fs::exists(path_));
  EXPECT_EQ(0u, FilesInFolder());
}

TEST_F(FileSnapshotTest, BringsBackAFileThatWasRemoved) {
  Write("SilentAutoUpdateServerDomain=mirror.example\n");
  FileSnapshot snapshot;
  ASSERT_TRUE(snapshot.Take(Path()));
  fs::remove(path_);
  ASSERT_TRUE(snapshot.Restore());
  EXPECT_EQ("SilentAutoUpdateServerDomain=mirror.example\n", Read());
}

TEST_F(FileSnapshotTest, LeavesAnUnchangedFileAlone) {
  Write("Custom=1\n");
  FileSnapshot snapshot;
  ASSERT_TRUE(snapshot.Take(Path()));
  fs::file_time_type written = fs::last_write_time(path_);
  fs::last_write_time(path_, written - std::chrono::hours(1));
  ASSERT_TRUE(snapshot.Restore());
  EXPECT_EQ(written - std::chrono::hours(1), fs::last_write_time(path_));

  FileSnapshot missing;
  fs::path other = folder_ / "other.cfg";
  ASSERT_TRUE(missing.Take(ByteString(other.u8string().c_str())));
  EXPECT_TRUE(missing.Restore());
  EXPECT_FALSE(fs::exists(other));
}

TEST_F(FileSnapshotTest, AFileThatCannotBeReadCannotBeTaken) {
  fs::create_directories(path_);
  FileSnapshot snapshot;
  EXPECT_FALSE(snapshot.Take(Path()));
}
