#pragma once

#include <cstdint>

// The plug-in variant that a version or a package belongs to.
enum class PluginVariant : int32_t { ActiveX = 1, Plugin = 2 };

// One announced four-part version and its variant.
struct VersionRecord {
  uint32_t major;
  uint32_t minor;
  uint32_t buildMajor;
  uint32_t buildMinor;
  PluginVariant variant;
};
