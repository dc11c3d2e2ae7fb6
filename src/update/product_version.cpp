#include "update/product_version.h"

#include "common/unsigned_decimal.h"

ProductVersion ParseProductVersion(const wchar_t* text) {
  uint32_t parts[4] = {0, 0, 0, 0};
  int part = 0;
  const wchar_t* partStart = text;
  for (const wchar_t* unit = text;; ++unit) {
    if (*unit != L'.' && *unit != L'\0') continue;
    if (part == 4) return ProductVersion{0, 0, 0, 0};
    // The conversion stops at the "." or the terminator that ends the part.
    parts[part++] = ToUnsigned32(partStart);
    if (*unit == L'\0') break;
    partStart = unit + 1;
  }
  return ProductVersion{parts[0], parts[1], parts[2], parts[3]};
}

int CompareVersion(const ProductVersion& a, const ProductVersion& b) {
  const uint32_t left[] = {a.major, a.minor, a.buildMajor, a.buildMinor};
  const uint32_t right[] = {b.major, b.minor, b.buildMajor, b.buildMinor};
  for (int field = 0; field < 4; ++field) {
    if (left[field] != right[field]) return left[field] > right[field] ? 1 : -1;
  }
  return 0;
}

ProductVersion VersionOf(const VersionRecord& record) {
  return ProductVersion{record.major, record.minor, record.buildMajor, record.buildMinor};
}
