#pragma once

#include <string>

#include "pe/file_version.h"

// Where the release store lies in DIR. The tool writes only these entries
// of DIR; everything else there is the operator's and is left alone.
//
//   DIR/pub -> .plumix-publish/current/pub       the served paths
//   DIR/release.json -> .plumix-publish/current/release.json
//   DIR/.plumix-publish/current -> releases/NAME  swapped by one rename
//   DIR/.plumix-publish/releases/NAME/            one tree per release
//   DIR/.plumix-publish/rollout.json              the rollout state
//   DIR/.plumix-publish/nginx/                    the generated configuration
//   DIR/.plumix-publish/lock                      held while a command changes DIR

constexpr char kStoreFolderName[] = ".plumix-publish";

std::string StoreFolder(const std::string& dir);
std::string ReleasesFolder(const std::string& dir);
std::string ReleaseFolder(const std::string& dir, const std::string& name);
std::string CurrentLink(const std::string& dir);
std::string RolloutStatePath(const std::string& dir);
std::string NginxFolder(const std::string& dir);
std::string StoreLockPath(const std::string& dir);

// A release's name in the store: its version when both variants announce
// the same one ("12.0.0.1"), else the ActiveX and the Plugin version joined
// by "-" ("12.0.0.1-12.0.0.2").
std::string ReleaseName(const FileVersion& activeX, const FileVersion& plugin);

// Whether text can be a release's name (digits, dots and one "-"), so that
// it is safe in a path and in an nginx configuration.
bool IsReleaseName(const std::string& text);

// The name of the release DIR serves to everyone, read from the current
// link; "" when DIR has none (no release yet, or one written before the store).
std::string ServedReleaseName(const std::string& dir);
