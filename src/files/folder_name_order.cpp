#include "files/folder_name_order.h"

#include <cstring>

namespace {

bool IsNumeric(const ByteString& name) {
  for (const char* p = name.c_str(); *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return false;
  }
  return true;
}

// Compares two digit strings by value without converting them, so that names
// of any length order correctly.
int CompareNumbers(const char* a, const char* b) {
  while (*a == '0') ++a;
  while (*b == '0') ++b;
  std::size_t lengthA = std::strlen(a);
  std::size_t lengthB = std::strlen(b);
  if (lengthA != lengthB) return lengthA < lengthB ? -1 : 1;
  int order = std::strcmp(a, b);
  return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

}  // namespace

int CompareFolderNames(const ByteString& a, const ByteString& b) {
  bool numericA = IsNumeric(a);
  bool numericB = IsNumeric(b);
  if (numericA && numericB) return CompareNumbers(a.c_str(), b.c_str());
  if (numericA != numericB) return numericA ? 1 : -1;
  // strcmp compares as unsigned char, a prefix first.
  int order = std::strcmp(a.c_str(), b.c_str());
  return order < 0 ? -1 : (order > 0 ? 1 : 0);
}
