#pragma once

#include <cstddef>
#include <cstdint>

#include "net/version_record.h"

// The three values a version manifest announces.
struct ManifestValues {
  VersionRecord activeX;
  VersionRecord plugin;
  uint32_t checkFrequency;
};

// The deepest element nesting a manifest may have. A manifest needs 2 levels;
// the parser spends about 100 bytes of stack per level, so 1000 levels
// (about 100 KB) stay far inside the service thread's stack (2 MB, the
// executable's reserve), where 20,000 levels would not.
constexpr uint32_t kMaxManifestNesting = 1000;

enum class ManifestParseResult {
  Parsed,        // all nine values found and converted
  Incomplete,    // well-formed, but an element or attribute is missing
  Malformed,     // the XML parser refused the text, or it nests too deep
  OutOfMemory,
};

// Allocation hooks for the XML parser's node memory. It asks for them only
// beyond its 64 KB built-in pool; alloc must throw std::bad_alloc rather
// than return null. Tests use them to run out of memory on purpose.
struct ManifestParserMemory {
  void* (*alloc)(std::size_t size);
  void (*free)(void* block);
};

// Parses the NUL-terminated manifest in place (the text is altered) with the
// XML parser's default flags: the first top-level "version" element, its first
// "ActiveX", "Plugin" and "SAUConfig" children in any order, and the first of
// each named attribute; everything else is ignored. Text whose elements nest
// deeper than kMaxManifestNesting is Malformed without being parsed. values
// is written only when the result is Parsed. Never throws.
ManifestParseResult ParseManifestText(char* text, ManifestValues& values,
                                      const ManifestParserMemory* memory = nullptr);
