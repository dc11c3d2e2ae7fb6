#pragma once

#include <cstdint>

#include "net/version_record.h"

// An installed four-part version; 0.0.0.0 means not installed.
struct ProductVersion {
  uint32_t major;
  uint32_t minor;
  uint32_t buildMajor;
  uint32_t buildMinor;
};

// Parses a terminated version text: parts end at "." or the terminator, each
// read as wcstoul base 10 does (saturating at 4294967295); missing parts are 0;
// a fifth part makes the whole result 0.0.0.0.
ProductVersion ParseProductVersion(const wchar_t* text);

// 1 when a is higher, -1 when lower, 0 when equal, field by field.
int CompareVersion(const ProductVersion& a, const ProductVersion& b);

ProductVersion VersionOf(const VersionRecord& record);
