#pragma once

#include <cstdint>

// Reads a decimal number the way strtoul and wcstoul with base 10 do where
// unsigned long has 32 bits (Windows), so that every build gives the same
// numbers: leading white space (space, \t \n \v \f \r) is skipped, one sign
// is accepted, digits 0-9 are read up to the first other unit; no digits give
// 0, a value beyond 4294967295 gives 4294967295, and a minus sign negates
// modulo 2^32 ("-1" gives 4294967295). Trailing text is ignored.
template <typename Char>
uint32_t ToUnsigned32(const Char* text) {
  auto isSpace = [](Char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  while (isSpace(*text)) ++text;
  bool negative = *text == '-';
  if (*text == '-' || *text == '+') ++text;
  uint64_t magnitude = 0;
  bool overflow = false;
  for (; *text >= '0' && *text <= '9'; ++text) {
    magnitude = magnitude * 10 + static_cast<uint64_t>(*text - '0');
    if (magnitude > UINT32_MAX) {
      overflow = true;
      magnitude = UINT32_MAX;
    }
  }
  if (overflow) return UINT32_MAX;
  uint32_t value = static_cast<uint32_t>(magnitude);
  return negative ? 0u - value : value;
}
