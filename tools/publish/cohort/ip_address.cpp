#include "cohort/ip_address.h"

#include <arpa/inet.h>

#include <cstring>

namespace {

bool IsIpv4Mapped(const uint8_t* bytes) {
  static const uint8_t kPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
  return std::memcmp(bytes, kPrefix, sizeof kPrefix) == 0;
}

}  // namespace

bool ParseIpAddress(const std::string& text, IpAddress& address) {
  IpAddress parsed;
  if (inet_pton(AF_INET, text.c_str(), parsed.bytes) == 1) {
    parsed.v4 = true;
  } else if (inet_pton(AF_INET6, text.c_str(), parsed.bytes) == 1) {
    if (IsIpv4Mapped(parsed.bytes)) {
      std::memmove(parsed.bytes, parsed.bytes + 12, 4);
      std::memset(parsed.bytes + 4, 0, 12);
      parsed.v4 = true;
    }
  } else {
    return false;
  }
  address = parsed;
  return true;
}
