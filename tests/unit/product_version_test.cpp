#include "update/product_version.h"

#include <gtest/gtest.h>

#include <ostream>

static bool operator==(const ProductVersion& a, const ProductVersion& b) {
  return a.major == b.major && a.minor == b.minor && a.buildMajor == b.buildMajor &&
         a.buildMinor == b.buildMinor;
}

static std::ostream& operator<<(std::ostream& out, const ProductVersion& v) {
  return out << v.major << '.' << v.minor << '.' << v.buildMajor << '.' << v.buildMinor;
}

namespace {

TEST(ParseProductVersion, ReadsTheInstalledVersionTexts) {
  struct Case {
    const wchar_t* text;
    ProductVersion version;
  } cases[] = {
      {L"10.2.154.25", {10, 2, 154, 25}},
      {L"10.2", {10, 2, 0, 0}},
      {L"10", {10, 0, 0, 0}},
      {L"", {0, 0, 0, 0}},
      {L"10.2.154.25.1", {0, 0, 0, 0}},  // five parts
      {L"1.2.3.4.", {0, 0, 0, 0}},       // an empty fifth part
      {L"....", {0, 0, 0, 0}},
      {L"10..154.25", {10, 0, 154, 25}},
      {L"10.2.", {10, 2, 0, 0}},
      {L"10,2,154,25", {10, 0, 0, 0}},
      {L" 10.2.154.25", {10, 2, 154, 25}},
      {L"10. 2.\t154. 25", {10, 2, 154, 25}},
      {L"10.2.154.25 beta", {10, 2, 154, 25}},
      {L"v10.2", {0, 2, 0, 0}},
      {L"-1.0.0.1", {4294967295u, 0, 0, 1}},
      {L"99999999999.1", {4294967295u, 1, 0, 0}},
      {L"4294967295.4294967295.4294967295.4294967295",
       {4294967295u, 4294967295u, 4294967295u, 4294967295u}},
      {L"0x10.2", {0, 2, 0, 0}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.version, ParseProductVersion(c.text)) << "text: " << testing::PrintToString(c.text);
  }
}

TEST(CompareVersion, TheFirstDifferentFieldDecidesAsUnsigned) {
  struct Case {
    ProductVersion a;
    ProductVersion b;
    int result;
  } cases[] = {
      {{10, 2, 154, 25}, {10, 2, 154, 25}, 0},
      {{10, 2, 154, 26}, {10, 2, 154, 25}, 1},
      {{10, 1, 999, 999}, {10, 2, 154, 25}, -1},
      {{11, 0, 0, 0}, {10, 99, 99, 99}, 1},
      {{10, 2, 155, 0}, {10, 2, 154, 99}, 1},
      {{0, 0, 0, 0}, {0, 0, 0, 1}, -1},
      {{4294967295u, 0, 0, 0}, {1, 0, 0, 0}, 1},  // unsigned: not -1
      {{1, 0, 0, 0}, {4294967295u, 0, 0, 0}, -1},
      {{0, 0, 0, 0}, {0, 0, 0, 0}, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.result, CompareVersion(c.a, c.b)) << c.a << " vs " << c.b;
  }
}

TEST(VersionOf, TakesTheFourNumbersOfARecord) {
  VersionRecord record{10, 3, 183, 90, PluginVariant::Plugin};
  EXPECT_EQ((ProductVersion{10, 3, 183, 90}), VersionOf(record));
}

}  // namespace
