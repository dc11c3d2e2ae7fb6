#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Which release a client is shown during a staged rollout is decided by its
// cohort key, and the same rule is used everywhere: by the generated nginx
// configuration (the key through the embedded JavaScript function, the share
// through nginx's split_clients) and by every reader of the origin's logs.

// The cohort key of a client address as nginx writes it: an IPv4 address
// whole, in dotted decimal; an IPv6 address cut to its /64, as the first four
// groups in four lower-case hexadecimal digits each followed by "::/64"
// ("2001:0db8:0000:0001::/64"), so that a machine whose privacy address
// changes daily keeps its cohort. An IPv4-mapped IPv6 address is keyed as
// its IPv4 address. False, and key left alone, for text that is not an
// address (a zone suffix, a port, spaces).
bool CohortKey(const std::string& address, std::string& key);

// nginx's MurmurHash2 of text, as split_clients computes it.
uint32_t SplitClientsHash(const std::string& text);

// Whether a key falls in the first percent of the addresses under salt, as
// split_clients "SALT${key}" { P% candidate; * current; } decides: the hash
// of salt followed by key below P hundredths of 0xffffffff. percent is read
// to two decimals, as nginx does; 0 or less is nobody and 100 or more is
// everybody. Shares nest: a key inside a share is inside every larger one.
bool InShare(const std::string& salt, const std::string& key, double percent);

// The share in hundredths of a percent, as the configuration writes it
// (5.25 gives 525), limited to 0..10000.
uint32_t ShareHundredths(double percent);

// The share as split_clients writes it: "5.25%".
std::string SplitClientsPercentText(double percent);

// Address ranges in CIDR notation ("10.20.0.0/16", "2001:db8:1::/48"; an
// address alone is a range of one), IPv4 and IPv6, matched as nginx's geo
// module matches them: an IPv4-mapped IPv6 address is matched as IPv4.
class CanaryRanges {
 public:
  // Replaces the ranges. False, with one line naming the bad entry in error,
  // for an entry that is not a range or that has bits set past its prefix.
  bool Parse(const std::vector<std::string>& cidrs, std::string& error);
  // Whether address (as nginx writes it) lies in one of the ranges; false for
  // text that is not an address.
  bool Contains(const std::string& address) const;

 private:
  struct Range {
    bool v4;
    uint8_t bytes[16];
    int prefix;
  };
  std::vector<Range> ranges_;
};
