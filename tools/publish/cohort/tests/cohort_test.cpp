#include "cohort/cohort.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(CohortKeyTest, KeysIpv4WholeAndIpv6ByItsSlash64) {
  struct Case {
    const char* address;
    const char* key;
  } cases[] = {
      {"127.0.3.200", "127.0.3.200"},
      {"255.255.255.255", "255.255.255.255"},
      {"2001:db8:1:2:aaaa:bbbb:cccc:dddd", "2001:0db8:0001:0002::/64"},
      {"2001:DB8:1:2::FFFF", "2001:0db8:0001:0002::/64"},
      {"fe80::1", "fe80:0000:0000:0000::/64"},
      {"::", "0000:0000:0000:0000::/64"},
      {"1::", "0001:0000:0000:0000::/64"},
      {"::FFFF:10.1.2.3", "10.1.2.3"},
      {"::ffff:a01:203", "10.1.2.3"},
      {"64:ff9b::10.1.2.3", "0064:ff9b:0000:0000::/64"},
  };
  for (const Case& c : cases) {
    std::string key = "unchanged";
    EXPECT_TRUE(CohortKey(c.address, key)) << c.address;
    EXPECT_EQ(key, c.key) << c.address;
  }
  for (const char* text : {"", "-", "127.0.0", "127.0.0.1 ", "127.0.0.1:80", "127.0.0.256",
                           "fe80::1%lo", "[::1]", "2001:db8::1/64", "1:2:3:4:5:6:7:8:9"}) {
    std::string key = "unchanged";
    EXPECT_FALSE(CohortKey(text, key)) << text;
    EXPECT_EQ(key, "unchanged") << text;
  }
}

TEST(InShareTest, SharesNestNearTheirPercentFromNobodyToEverybodyAndDependOnTheSalt) {
  const double percents[] = {-3, 0, 0.01, 5, 25, 50, 99.99, 100};
  int in[std::size(percents)] = {}, inBothSalts = 0;
  const int keys = 20000;
  for (int i = 0; i < keys; ++i) {
    std::string key = "10." + std::to_string(i / 256 / 256) + "." + std::to_string(i / 256 % 256) +
                      "." + std::to_string(i % 256);
    bool inSmaller = false;
    for (size_t p = 0; p < std::size(percents); ++p) {
      bool inThis = InShare("7f3a9c2e", key, percents[p]);
      EXPECT_TRUE(inThis || !inSmaller) << key << " left the share at " << percents[p] << "%";
      inSmaller = inThis;
      in[p] += inThis;
    }
    inBothSalts += InShare("7f3a9c2e", key, 50) && InShare("another", key, 50);
  }
  EXPECT_EQ(in[0] + in[1], 0);
  EXPECT_EQ(in[std::size(percents) - 1], keys);
  for (size_t p = 3; p < 6; ++p) EXPECT_NEAR(100.0 * in[p] / keys, percents[p], 1) << percents[p];
  // Independent draws of 50 % overlap on about half of the first group.
  EXPECT_NEAR(static_cast<double>(inBothSalts) / in[5], 0.5, 0.05);
}

TEST(ShareTextTest, WritesHundredthsAsSplitClientsReadsThem) {
  struct Case {
    double percent;
    uint32_t hundredths;
    const char* text;
  } cases[] = {{5, 500, "5.00%"},        {0.01, 1, "0.01%"},      {12.345, 1235, "12.35%"},
               {100, 10000, "100.00%"}, {250, 10000, "100.00%"}, {-1, 0, "0.00%"}};
  for (const Case& c : cases) {
    EXPECT_EQ(ShareHundredths(c.percent), c.hundredths) << c.percent;
    EXPECT_EQ(SplitClientsPercentText(c.percent), c.text) << c.percent;
  }
}

TEST(CanaryRangesTest, MatchesIpv4AndIpv6RangesAndMappedAddresses) {
  CanaryRanges ranges;
  std::string error;
  EXPECT_FALSE(ranges.Contains("10.0.0.1"));
  ASSERT_TRUE(ranges.Parse(
      {"10.20.0.0/16", "192.0.2.7", "2001:db8:1::/48", "172.16.0.0/12", "2001:db8:ff::/127"},
      error))
      << error;
  struct Case {
    const char* address;
    bool in;
  } cases[] = {
      {"10.20.0.0", true},      {"10.20.255.255", true},      {"10.21.0.0", false},
      {"10.19.255.255", false}, {"192.0.2.7", true},          {"192.0.2.8", false},
      {"172.31.255.255", true}, {"172.32.0.0", false},        {"::ffff:10.20.1.1", true},
      {"2001:db8:1::1", true},  {"2001:db8:1:ffff::1", true}, {"2001:db8:2::1", false},
      {"2001:db8:ff::1", true}, {"2001:db8:ff::2", false},    {"::a14:101", false},
      {"not an address", false},
  };
  for (const Case& c : cases) EXPECT_EQ(ranges.Contains(c.address), c.in) << c.address;
  // Whole ranges: /0 of one family holds every address of it, none of the other.
  ASSERT_TRUE(ranges.Parse({"0.0.0.0/0"}, error));
  EXPECT_TRUE(ranges.Contains("203.0.113.9"));
  EXPECT_FALSE(ranges.Contains("2001:db8::1"));
  ASSERT_TRUE(ranges.Parse({"::/0"}, error));
  EXPECT_TRUE(ranges.Contains("2001:db8::1"));
  EXPECT_FALSE(ranges.Contains("203.0.113.9"));
}

TEST(CanaryRangesTest, RefusesBadEntriesAndKeepsTheRangesItHad) {
  CanaryRanges ranges;
  std::string error;
  ASSERT_TRUE(ranges.Parse({"10.0.0.0/8"}, error));
  struct Case {
    const char* cidr;
    const char* message;
  } cases[] = {
      {"10.0.0.0/33", "10.0.0.0/33: the prefix length must be a number from 0 to 32"},
      {"2001:db8::/129", "2001:db8::/129: the prefix length must be a number from 0 to 128"},
      {"10.0.0.0/+8", "10.0.0.0/+8: the prefix length must be a number from 0 to 32"},
      {"10.0.0/8", "10.0.0/8: not an IPv4 or IPv6 address range (CIDR, as 10.20.0.0/16)"},
      {"10.1.2.3/24",
       "10.1.2.3/24: has address bits set past its /24 prefix; write the range's first address"},
      {"2001:db8::1/64",
       "2001:db8::1/64: has address bits set past its /64 prefix; write the range's first "
       "address"},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(ranges.Parse({"192.0.2.0/24", c.cidr}, error)) << c.cidr;
    EXPECT_EQ(error, c.message);
    EXPECT_TRUE(ranges.Contains("10.1.1.1")) << c.cidr;
    EXPECT_FALSE(ranges.Contains("192.0.2.1")) << c.cidr;
  }
}

}  // namespace
