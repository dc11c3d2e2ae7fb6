#pragma once

#include <cstdint>
#include <string>

// An address as the cohort rules see it: IPv4 in the first four bytes, or
// IPv6 in all sixteen. An IPv4-mapped IPv6 address is IPv4.
struct IpAddress {
  bool v4 = false;
  uint8_t bytes[16] = {};
};

// Parses the text forms nginx writes (dotted decimal, RFC 5952 IPv6, also
// uncompressed or upper case). False for anything else.
bool ParseIpAddress(const std::string& text, IpAddress& address);
