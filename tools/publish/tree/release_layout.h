#pragma once

#include "net/version_record.h"

// Where a release puts its files, relative to the root of the tree: the
// paths the clients request from the manifest and package hosts.
constexpr char kManifestPath[] = "pub/plumixplayer/update/current/sau/11/xml/version.xml";
constexpr char kReleaseRecordPath[] = "release.json";

// The clients' user agents: the manifest's and the packages'.
constexpr char kManifestUserAgent[] = "Get Plumix Player version xml/1.0";
constexpr char kPackageUserAgent[] = "Download Plumix Player Installer/1.0";

// One of the four packages of a release.
struct PackageSlot {
  PluginVariant variant;
  bool for64Bit;       // fetched by 32-bit clients on 64-bit Windows
  const char* option;  // the release option naming its installer
  const char* path;    // relative to the tree's root
  const char* label;   // "ActiveX 64-bit"
};

constexpr int kPackageCount = 4;
extern const PackageSlot kPackageSlots[kPackageCount];

// "ActiveX" or "Plugin".
const char* VariantName(PluginVariant variant);
