#pragma once

#include <string>

#include "tree/findings.h"
#include "tree/release_layout.h"

// The files of a published tree as the clients would receive them. A file
// that could not be had is absent, and the loader has said why.
struct PublishedTree {
  std::string manifestName;  // how findings name the manifest: a path or a URL
  std::string manifest;
  bool hasManifest = false;
  std::string packageNames[kPackageCount];
  std::string packages[kPackageCount];
  bool hasPackage[kPackageCount] = {};
};

// Reads the manifest and the four packages under root (a package no larger
// than the service downloads; a larger one is refused unread). Each file
// that is missing or unreadable is a refusal in findings. Files are named as
// if the tree stood at shownRoot (a staged tree is named by its final place).
void LoadTreeFromFolder(const std::string& root, const std::string& shownRoot, PublishedTree& tree,
                        Findings& findings);
