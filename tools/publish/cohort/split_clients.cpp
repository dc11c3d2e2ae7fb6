#include <cmath>
#include <cstdio>

#include "cohort/cohort.h"

namespace {

constexpr uint32_t kMurmurMultiplier = 0x5bd1e995;
constexpr uint32_t kWholeShare = 10000;  // hundredths of a percent

}  // namespace

uint32_t SplitClientsHash(const std::string& text) {
  const auto* data = reinterpret_cast<const unsigned char*>(text.data());
  size_t length = text.size();
  uint32_t hash = static_cast<uint32_t>(length);
  for (; length >= 4; data += 4, length -= 4) {
    uint32_t word = data[0] | data[1] << 8 | data[2] << 16 | static_cast<uint32_t>(data[3]) << 24;
    word *= kMurmurMultiplier;
    word ^= word >> 24;
    word *= kMurmurMultiplier;
    hash *= kMurmurMultiplier;
    hash ^= word;
  }
  switch (length) {
    case 3:
      hash ^= static_cast<uint32_t>(data[2]) << 16;
      [[fallthrough]];
    case 2:
      hash ^= static_cast<uint32_t>(data[1]) << 8;
      [[fallthrough]];
    case 1:
      hash ^= data[0];
      hash *= kMurmurMultiplier;
  }
  hash ^= hash >> 13;
  hash *= kMurmurMultiplier;
  hash ^= hash >> 15;
  return hash;
}

uint32_t ShareHundredths(double percent) {
  if (!(percent > 0)) return 0;
  if (percent >= 100) return kWholeShare;
  return static_cast<uint32_t>(std::llround(percent * 100));
}

std::string SplitClientsPercentText(double percent) {
  uint32_t hundredths = ShareHundredths(percent);
  char text[16];
  std::snprintf(text, sizeof text, "%u.%02u%%", hundredths / 100, hundredths % 100);
  return text;
}

bool InShare(const std::string& salt, const std::string& key, double percent) {
  uint32_t hundredths = ShareHundredths(percent);
  if (hundredths == 0) return false;
  if (hundredths == kWholeShare) return true;
  // split_clients' first bucket ends at P * 0xffffffff / 10000, truncated.
  uint32_t boundary = static_cast<uint32_t>(hundredths * uint64_t{0xffffffff} / kWholeShare);
  return SplitClientsHash(salt + key) < boundary;
}
