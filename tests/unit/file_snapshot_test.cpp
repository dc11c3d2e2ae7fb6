#include "file_snapshot.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "support/settings_folder_test.h"

namespace fs = std::filesystem;

using FileSnapshotTest = SettingsFolderTest;

TEST_F(FileSnapshotTest, PutsTheOldBytesBackAfterAChangeOrARemoval) {
  std::string old("Custom=1\r\nSilentAutoUpdateEnable=0\n\0tail", 39);
  Write(old);
  FileSnapshot snapshot;
  ASSERT_TRUE(snapshot.Take(Path()));
  Write("SilentAutoUpdateEnable=1\r\n");
  ASSERT_TRUE(snapshot.Restore());
  EXPECT_EQ(old, Read());
  EXPECT_EQ(1u, FilesInFolder());
  fs::remove(path_);
  ASSERT_TRUE(snapshot.Restore());
  EXPECT_EQ(old, Read());
}

TEST_F(FileSnapshotTest, RemovesAFileThatWasNotThere) {
  FileSnapshot snapshot;
  ASSERT_TRUE(snapshot.Take(Path()));
  Write("AutoUpdateDisable=0\r\n");
  ASSERT_TRUE(snapshot.Restore());
  EXPECT_EQ(0u, FilesInFolder());
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
