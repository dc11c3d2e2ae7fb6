// libFuzzer target for the installed-version text. The input is read as
// little-endian 2-byte units, as a UTF-16 registry value holds them; a 0
// unit ends the first text and the units after it (without further 0
// units) form a second one. Both are parsed, and besides running clean under
// the sanitizers:
// - each result equals a small independent model (split at ".", strtoull
//   per part, saturated to 32 bits), so a text with a fifth part is 0.0.0.0;
// - parsing is deterministic;
// - CompareVersion agrees with the lexicographic order of the four numbers:
//   0 for a version with itself, opposite signs for swapped arguments.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "update/product_version.h"

namespace {

// One part as wcstoul would read it where unsigned long has 32 bits. Units
// outside ASCII are neither blanks nor digits, so 'x' stands in for them.
uint32_t ModelPart(const std::wstring& part) {
  std::string narrow;
  for (wchar_t unit : part) narrow += unit < 0x80 ? static_cast<char>(unit) : 'x';
  errno = 0;
  unsigned long long value = std::strtoull(narrow.c_str(), nullptr, 10);
  if (errno == ERANGE) return UINT32_MAX;
  size_t sign = narrow.find_first_not_of(" \t\n\v\f\r");
  bool negative = sign != std::string::npos && narrow[sign] == '-';
  unsigned long long magnitude = negative ? 0ull - value : value;
  if (magnitude > UINT32_MAX) return UINT32_MAX;
  return static_cast<uint32_t>(value);
}

ProductVersion ModelParse(const std::wstring& text) {
  std::vector<std::wstring> parts(1);
  for (wchar_t unit : text) {
    if (unit == L'.') {
      parts.emplace_back();
    } else {
      parts.back() += unit;
    }
  }
  uint32_t numbers[4] = {0, 0, 0, 0};
  if (parts.size() > 4) return ProductVersion{0, 0, 0, 0};
  for (size_t i = 0; i < parts.size(); ++i) numbers[i] = ModelPart(parts[i]);
  return ProductVersion{numbers[0], numbers[1], numbers[2], numbers[3]};
}

auto Fields(const ProductVersion& v) {
  return std::make_tuple(v.major, v.minor, v.buildMajor, v.buildMinor);
}

int ModelCompare(const ProductVersion& a, const ProductVersion& b) {
  if (Fields(a) == Fields(b)) return 0;
  return Fields(a) > Fields(b) ? 1 : -1;
}

ProductVersion CheckedParse(const std::wstring& text) {
  ProductVersion version = ParseProductVersion(text.c_str());
  if (Fields(version) != Fields(ParseProductVersion(text.c_str())) ||
      Fields(version) != Fields(ModelParse(text))) {
    std::abort();
  }
  return version;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::wstring texts[2];
  int current = 0;
  for (size_t i = 0; i + 1 < size; i += 2) {
    wchar_t unit = static_cast<wchar_t>(data[i] | data[i + 1] << 8);
    if (unit == 0 && current == 0) {
      current = 1;
    } else if (unit != 0) {
      texts[current] += unit;
    }
  }
  ProductVersion a = CheckedParse(texts[0]);
  ProductVersion b = CheckedParse(texts[1]);
  if (CompareVersion(a, a) != 0 || CompareVersion(a, b) != ModelCompare(a, b) ||
      CompareVersion(b, a) != -CompareVersion(a, b)) {
    std::abort();
  }
  return 0;
}
