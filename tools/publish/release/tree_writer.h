#pragma once

#include <string>

// Writes a release tree in a staging folder and renames it into its final
// place, so that the final folder always holds a whole tree: the old one (or
// none) until the rename, the new one after it, also across a crash at any
// moment.
class TreeWriter {
 public:
  // target is the folder the tree will become; the staging folder is made in
  // stagingParent, which must be on target's file system and is never served.
  TreeWriter(std::string target, std::string stagingParent);
  // Removes the staging folder when the tree was not put in place.
  ~TreeWriter();
  TreeWriter(const TreeWriter&) = delete;
  TreeWriter& operator=(const TreeWriter&) = delete;

  // Makes the staging folder ("staging-" and a unique suffix), readable by
  // its owner only until Commit.
  bool Begin(std::string& error);

  // The staging folder (valid after Begin).
  const std::string& staging() const { return staging_; }

  // Writes one file at a path relative to the tree's root, making its folders,
  // and flushes it to the disk.
  bool WriteFile(const std::string& relativePath, const std::string& bytes, std::string& error);

  // Opens the staged tree to readers, flushes its folders, then swaps it
  // with target in one rename (RENAME_EXCHANGE) and removes the old tree, or
  // renames it into place where target does not exist (RENAME_NOREPLACE, so
  // that a folder made there meanwhile is never replaced). A crash before
  // the rename leaves target as it was; after it, the new tree.
  bool Commit(std::string& error);

 private:
  std::string target_;
  std::string stagingParent_;
  std::string staging_;
};

// Removes a folder and everything under it; false if anything stayed.
bool RemoveTree(const std::string& path);
