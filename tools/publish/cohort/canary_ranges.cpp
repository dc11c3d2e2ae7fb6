#include <cstdlib>
#include <cstring>

#include "cohort/cohort.h"
#include "cohort/ip_address.h"

namespace {

bool ParsePrefixLength(const std::string& text, int limit, int& prefix) {
  if (text.empty() || text.size() > 3 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  prefix = std::atoi(text.c_str());
  return prefix <= limit;
}

// Whether the first prefix bits of a and b agree.
bool SamePrefix(const uint8_t* a, const uint8_t* b, int prefix) {
  int whole = prefix / 8;
  if (std::memcmp(a, b, static_cast<size_t>(whole)) != 0) return false;
  int rest = prefix % 8;
  if (rest == 0) return true;
  uint8_t mask = static_cast<uint8_t>(0xff << (8 - rest));
  return (a[whole] & mask) == (b[whole] & mask);
}

bool HostBitsClear(const uint8_t* bytes, int size, int prefix) {
  for (int bit = prefix; bit < size * 8; ++bit) {
    if (bytes[bit / 8] & (0x80 >> (bit % 8))) return false;
  }
  return true;
}

}  // namespace

bool CanaryRanges::Parse(const std::vector<std::string>& cidrs, std::string& error) {
  std::vector<Range> ranges;
  for (const std::string& cidr : cidrs) {
    size_t slash = cidr.find('/');
    IpAddress address;
    Range range{};
    if (!ParseIpAddress(cidr.substr(0, slash), address)) {
      error = cidr + ": not an IPv4 or IPv6 address range (CIDR, as 10.20.0.0/16)";
      return false;
    }
    range.v4 = address.v4;
    std::memcpy(range.bytes, address.bytes, sizeof range.bytes);
    int size = address.v4 ? 4 : 16;
    range.prefix = size * 8;
    if (slash != std::string::npos &&
        !ParsePrefixLength(cidr.substr(slash + 1), size * 8, range.prefix)) {
      error = cidr + ": the prefix length must be a number from 0 to " + std::to_string(size * 8);
      return false;
    }
    if (!HostBitsClear(range.bytes, size, range.prefix)) {
      error = cidr + ": has address bits set past its /" + std::to_string(range.prefix) +
              " prefix; write the range's first address";
      return false;
    }
    ranges.push_back(range);
  }
  ranges_ = std::move(ranges);
  return true;
}

bool CanaryRanges::Contains(const std::string& text) const {
  IpAddress address;
  if (!ParseIpAddress(text, address)) return false;
  for (const Range& range : ranges_) {
    if (range.v4 == address.v4 && SamePrefix(range.bytes, address.bytes, range.prefix)) {
      return true;
    }
  }
  return false;
}
