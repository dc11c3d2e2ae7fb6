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
      {"0.0.0.0", "0.0.0.0"},
      {"255.255.255.255", "255.255.255.255"},
      {"2001:db8:1:2:aaaa:bbbb:cccc:dddd", "2001:0db8:0001:0002::/64"},
      {"2001:db8:1:2::1", "2001:0db8:0001:0002::/64"},
      {"2001:DB8:1:2:0:0:0:FFFF", "2001:0db8:0001:0002::/64"},
      {"2001:0db8:0001:0002:0000:0000:0000:0001", "2001:0db8:0001:0002::/64"},
      {"fe80::1", "fe80:0000:0000:0000::/64"},
      {"::1", "0000:0000:0000:0000::/64"},
      {"::", "0000:0000:0000:0000::/64"},
      {"1::", "0001:0000:0000:0000::/64"},
      {"::ffff:10.1.2.3", "10.1.2.3"},
      {"::FFFF:10.1.2.3", "10.1.2.3"},
      {"::ffff:a01:203", "10.1.2.3"},
      {"64:ff9b::10.1.2.3", "0064:ff9b:0000:0000::/64"},
  };
  for (const Case& c : cases) {
    std::string key = "unchanged";
    EXPECT_TRUE(CohortKey(c.address, key)) << c.address;
    EXPECT_EQ(key, c.key) << c.address;
  }
}

TEST(CohortKeyTest, RefusesTextThatIsNotAnAddress) {
  for (const char* text :
       {"", "-", "127.0.0", "127.0.0.1 ", " 127.0.0.1", "127.0.0.1:80", "127.0.0.256", "fe80::1%lo",
        "[::1]", "2001:db8::1/64", "1:2:3:4:5:6:7:8:9", "example.com", "unix:"}) {
    std::string key = "unchanged";
    EXPECT_FALSE(CohortKey(text, key)) << text;
    EXPECT_EQ(key, "unchanged") << text;
  }
}

TEST(CohortKeyTest, AddressesOfOneSlash64ShareTheirKeyAndOthersDoNot) {
  std::string a, b, c;
  ASSERT_TRUE(CohortKey("2001:db8:5:6:1111:2222:3333:4444", a));
  ASSERT_TRUE(CohortKey("2001:db8:5:6:9999::", b));
  ASSERT_TRUE(CohortKey("2001:db8:5:7:1111:2222:3333:4444", c));
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
}

std::vector<std::string> Keys(int count) {
  std::vector<std::string> keys;
  for (int i = 0; i < count; ++i) {
    keys.push_back("10." + std::to_string(i / 65536) + "." + std::to_string(i / 256 % 256) + "." +
                   std::to_string(i % 256));
  }
  return keys;
}

TEST(InShareTest, SharesAreNestedAndNearTheirPercent) {
  const std::vector<std::string> keys = Keys(20000);
  const double percents[] = {0.01, 1, 5, 12.5, 25, 50, 99.99};
  for (const std::string& key : keys) {
    bool inSmaller = false;
    for (double percent : percents) {
      bool in = InShare("7f3a9c2e", key, percent);
      EXPECT_TRUE(in || !inSmaller) << key << " left the share at " << percent << "%";
      inSmaller = in;
    }
  }
  for (double percent : {5.0, 25.0, 50.0}) {
    int in = 0;
    for (const std::string& key : keys) in += InShare("7f3a9c2e", key, percent) ? 1 : 0;
    EXPECT_NEAR(100.0 * in / keys.size(), percent, 1.0) << percent;
  }
}

TEST(InShareTest, NobodyAtZeroEverybodyAtAHundredAndAnotherSaltDrawsAnotherGroup) {
  int same = 0, inFirst = 0;
  for (const std::string& key : Keys(4000)) {
    EXPECT_FALSE(InShare("salt", key, 0));
    EXPECT_FALSE(InShare("salt", key, -3));
    EXPECT_TRUE(InShare("salt", key, 100));
    bool first = InShare("salt-one", key, 50);
    inFirst += first ? 1 : 0;
    same += first && InShare("salt-two", key, 50) ? 1 : 0;
  }
  // Independent draws of 50 % overlap on about half of the first group.
  EXPECT_NEAR(static_cast<double>(same) / inFirst, 0.5, 0.05);
}

TEST(ShareTextTest, WritesHundredthsAsSplitClientsReadsThem) {
  struct Case {
    double percent;
    uint32_t hundredths;
    const char* text;
  } cases[] = {{5, 500, "5.00%"},        {0.01, 1, "0.01%"},      {33.333, 3333, "33.33%"},
               {12.345, 1235, "12.35%"}, {100, 10000, "100.00%"}, {250, 10000, "100.00%"},
               {0, 0, "0.00%"},          {-1, 0, "0.00%"}};
  for (const Case& c : cases) {
    EXPECT_EQ(ShareHundredths(c.percent), c.hundredths) << c.percent;
    EXPECT_EQ(SplitClientsPercentText(c.percent), c.text) << c.percent;
  }
}

TEST(CanaryRangesTest, MatchesIpv4AndIpv6RangesAndMappedAddresses) {
  CanaryRanges ranges;
  std::string error;
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
      {"2001:db8:ff::1", true}, {"2001:db8:ff::2", false},    {"::ffff:192.0.2.8", false},
      {"::a14:101", false},     {"not an address", false},    {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(ranges.Contains(c.address), c.in) << c.address;
}

TEST(CanaryRangesTest, EmptyAndWholeRanges) {
  CanaryRanges ranges;
  std::string error;
  EXPECT_FALSE(ranges.Contains("10.0.0.1"));
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
      {"10.0.0.0/", "10.0.0.0/: the prefix length must be a number from 0 to 32"},
      {"10.0.0.0/+8", "10.0.0.0/+8: the prefix length must be a number from 0 to 32"},
      {"10.0.0/8", "10.0.0/8: not an IPv4 or IPv6 address range (CIDR, as 10.20.0.0/16)"},
      {"example.com/8", "example.com/8: not an IPv4 or IPv6 address range (CIDR, as 10.20.0.0/16)"},
      {"10.1.2.3/24",
       "10.1.2.3/24: has address bits set past its /24 prefix; write the range's "
       "first address"},
      {"2001:db8::1/64",
       "2001:db8::1/64: has address bits set past its /64 prefix; write the "
       "range's first address"},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(ranges.Parse({"192.0.2.0/24", c.cidr}, error)) << c.cidr;
    EXPECT_EQ(error, c.message);
    EXPECT_TRUE(ranges.Contains("10.1.1.1")) << c.cidr;
    EXPECT_FALSE(ranges.Contains("192.0.2.1")) << c.cidr;
  }
}

}  // namespace
