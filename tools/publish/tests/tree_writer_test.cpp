#include "release/tree_writer.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
  std::ifstream file(path);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

class TreeWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tree-writer-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    target_ = root_ / "release";
  }
  void TearDown() override { fs::remove_all(root_); }

  // The names in root_ other than the target: staging leftovers.
  int Leftovers() const {
    int count = 0;
    for (const auto& entry : fs::directory_iterator(root_)) count += entry.path() != target_;
    return count;
  }

  fs::path root_;
  fs::path target_;
};

TEST_F(TreeWriterTest, PutsANewTreeInPlace) {
  std::string error;
  TreeWriter writer(target_.string(), root_.string());
  ASSERT_TRUE(writer.Begin(error)) << error;
  ASSERT_TRUE(writer.WriteFile("a/b/file.txt", "new", error)) << error;
  ASSERT_TRUE(writer.Commit(error)) << error;
  EXPECT_EQ(ReadText(target_ / "a/b/file.txt"), "new");
  EXPECT_EQ(Leftovers(), 0);
}

TEST_F(TreeWriterTest, ReplacesAnExistingTreeWhole) {
  fs::create_directories(target_ / "old");
  std::ofstream(target_ / "old/stale.txt") << "old";
  std::string error;
  TreeWriter writer(target_.string() + "/", root_.string());
  ASSERT_TRUE(writer.Begin(error)) << error;
  ASSERT_TRUE(writer.WriteFile("file.txt", "new", error)) << error;
  ASSERT_TRUE(writer.Commit(error)) << error;
  EXPECT_EQ(ReadText(target_ / "file.txt"), "new");
  EXPECT_FALSE(fs::exists(target_ / "old"));
  EXPECT_EQ(Leftovers(), 0);
}

TEST_F(TreeWriterTest, StagedTreeIsPrivateUntilItIsPutInPlace) {
  std::string error;
  TreeWriter writer(target_.string(), root_.string());
  ASSERT_TRUE(writer.Begin(error)) << error;
  ASSERT_TRUE(writer.WriteFile("file.txt", "new", error)) << error;
  EXPECT_EQ(fs::status(writer.staging()).permissions(), fs::perms::owner_all);
  ASSERT_TRUE(writer.Commit(error)) << error;
  EXPECT_EQ(fs::status(target_).permissions() & fs::perms::others_read, fs::perms::others_read);
}

TEST_F(TreeWriterTest, AnAbandonedTreeLeavesTheTargetAndNoStaging) {
  fs::create_directories(target_);
  std::ofstream(target_ / "kept.txt") << "kept";
  {
    std::string error;
    TreeWriter writer(target_.string(), root_.string());
    ASSERT_TRUE(writer.Begin(error)) << error;
    ASSERT_TRUE(writer.WriteFile("file.txt", "new", error)) << error;
    EXPECT_EQ(Leftovers(), 1);
  }
  EXPECT_EQ(ReadText(target_ / "kept.txt"), "kept");
  EXPECT_FALSE(fs::exists(target_ / "file.txt"));
  EXPECT_EQ(Leftovers(), 0);
}

TEST_F(TreeWriterTest, RefusesToReplaceAFile) {
  std::ofstream(target_) << "a file, not a tree";
  std::string error;
  TreeWriter writer(target_.string(), root_.string());
  ASSERT_TRUE(writer.Begin(error)) << error;
  ASSERT_TRUE(writer.WriteFile("file.txt", "new", error)) << error;
  EXPECT_FALSE(writer.Commit(error));
  EXPECT_EQ(ReadText(target_), "a file, not a tree");
}

}  // namespace
