#include "common/utf8_repair.h"

#include <cstddef>

namespace {

const char kReplacement[] = "\xEF\xBF\xBD";

// The length of the sequence a lead byte begins (0 when it begins none) and
// the range of the byte after it, which rules out overlong forms, surrogates
// and code points beyond U+10FFFF.
struct Lead {
  std::size_t length;
  unsigned char low;
  unsigned char high;
};

Lead LeadOf(unsigned char byte) {
  if (byte < 0x80) return {1, 0, 0};
  if (byte >= 0xC2 && byte <= 0xDF) return {2, 0x80, 0xBF};
  if (byte == 0xE0) return {3, 0xA0, 0xBF};
  if (byte == 0xED) return {3, 0x80, 0x9F};
  if (byte >= 0xE1 && byte <= 0xEF) return {3, 0x80, 0xBF};
  if (byte == 0xF0) return {4, 0x90, 0xBF};
  if (byte >= 0xF1 && byte <= 0xF3) return {4, 0x80, 0xBF};
  if (byte == 0xF4) return {4, 0x80, 0x8F};
  return {0, 0, 0};
}

// How many bytes from at form the well-begun part of a sequence: its full
// length when the sequence is complete, 0 when the byte begins none.
std::size_t WellBegun(const unsigned char* at, const Lead& lead) {
  if (lead.length <= 1) return lead.length;
  if (at[1] < lead.low || at[1] > lead.high) return 1;
  std::size_t fitting = 2;
  while (fitting < lead.length && at[fitting] >= 0x80 && at[fitting] <= 0xBF) ++fitting;
  return fitting;
}

}  // namespace

std::string RepairedUtf8(const char* text) {
  const unsigned char* at = reinterpret_cast<const unsigned char*>(text);
  std::string repaired;
  while (*at != 0) {
    Lead lead = LeadOf(*at);
    std::size_t fitting = WellBegun(at, lead);
    if (lead.length != 0 && fitting == lead.length) {
      repaired.append(reinterpret_cast<const char*>(at), fitting);
      at += fitting;
    } else {
      repaired += kReplacement;
      at += fitting == 0 ? 1 : fitting;
    }
  }
  return repaired;
}
