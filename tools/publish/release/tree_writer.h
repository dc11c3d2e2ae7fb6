#pragma once

#include <string>

// Writes a release tree beside its final place and swaps it in, so that the
// final folder always holds a whole tree: the old one until the swap, the new
// one after it, also across a crash at any moment.
class TreeWriter {
 public:
  // target is the folder the tree will become (DIR).
  explicit TreeWriter(std::string target);
  // Removes the staging folder when the tree was not put in place.
  ~TreeWriter();
  TreeWriter(const TreeWriter&) = delete;
  TreeWriter& operator=(const TreeWriter&) = delete;

  // Makes the staging folder, a new hidden sibling of target.
  bool Begin(std::string& error);

  // The staging folder (valid after Begin).
  const std::string& staging() const { return staging_; }

  // Writes one file at a path relative to the tree's root, making its folders,
  // and flushes it to the disk.
  bool WriteFile(const std::string& relativePath, const std::string& bytes, std::string& error);

  // Flushes the staged folders, then swaps the staging folder with target
  // in one rename (RENAME_EXCHANGE), or renames it into place when target
  // does not exist yet, and removes the old tree. A crash before the
  // rename leaves target as it was; after it, the new tree.
  bool Commit(std::string& error);

 private:
  std::string target_;
  std::string staging_;
};

// Removes a folder and everything under it; false if anything stayed.
bool RemoveTree(const std::string& path);
