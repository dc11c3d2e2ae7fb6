#include <arpa/inet.h>

#include <cstdio>

#include "cohort/cohort.h"
#include "cohort/ip_address.h"

namespace {

std::string Ipv4Text(const uint8_t* bytes) {
  char text[INET_ADDRSTRLEN];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
  return text;
}

std::string Ipv6PrefixText(const uint8_t* bytes) {
  char text[sizeof "0000:0000:0000:0000::/64"];
  std::snprintf(text, sizeof text, "%02x%02x:%02x%02x:%02x%02x:%02x%02x::/64", bytes[0], bytes[1],
                bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7]);
  return text;
}

}  // namespace

bool CohortKey(const std::string& address, std::string& key) {
  IpAddress parsed;
  if (!ParseIpAddress(address, parsed)) return false;
  key = parsed.v4 ? Ipv4Text(parsed.bytes) : Ipv6PrefixText(parsed.bytes);
  return true;
}
