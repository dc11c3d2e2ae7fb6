#include "common/unsigned_decimal.h"

#include <gtest/gtest.h>

namespace {

struct Case {
  const char* narrow;
  const wchar_t* wide;
  uint32_t value;
};

// Each text is checked in both widths: on Linux wchar_t has 32 bits and
// unsigned long 64, yet the results must be those of a 32-bit unsigned long.
const Case kCases[] = {
    {"10", L"10", 10},
    {"0", L"0", 0},
    {"", L"", 0},
    {"0x1F", L"0x1F", 0},
    {"12abc", L"12abc", 12},
    {"007", L"007", 7},
    {" \t\n\v\f\r42", L" \t\n\v\f\r42", 42},
    {"+5", L"+5", 5},
    {"-1", L"-1", 4294967295u},
    {"-2", L"-2", 4294967294u},
    {"-0", L"-0", 0},
    {"-", L"-", 0},
    {"+-3", L"+-3", 0},
    {"- 3", L"- 3", 0},
    {"4294967295", L"4294967295", 4294967295u},
    {"4294967296", L"4294967296", 4294967295u},
    {"99999999999", L"99999999999", 4294967295u},
    {"18446744073709551617", L"18446744073709551617", 4294967295u},
    {"99999999999999999999999999", L"99999999999999999999999999", 4294967295u},
    // A negative value whose magnitude is out of range saturates, it is not
    // negated: strtoul reports the overflow first.
    {"-4294967295", L"-4294967295", 1},
    {"-4294967296", L"-4294967296", 4294967295u},
    {"-99999999999", L"-99999999999", 4294967295u},
    {"1 2", L"1 2", 1},
    {"3.4", L"3.4", 3},
    {"\xA0" "5", L"\xA0" L"5", 0},
};

TEST(ToUnsigned32, ReadsLikeStrtoulWithA32BitUnsignedLong) {
  for (const Case& c : kCases) {
    EXPECT_EQ(c.value, ToUnsigned32(c.narrow)) << '"' << c.narrow << '"';
    EXPECT_EQ(c.value, ToUnsigned32(c.wide)) << '"' << c.narrow << '"';
  }
}

TEST(ToUnsigned32, WideUnitsBeyondAsciiAreNeitherDigitsNorSpace) {
  // Fullwidth digit one and ideographic space.
  EXPECT_EQ(0u, ToUnsigned32(L"\xFF11"));
  EXPECT_EQ(0u, ToUnsigned32(L"\x3000" L"7"));
  // A unit whose low byte is an ASCII digit is not one.
  EXPECT_EQ(0u, ToUnsigned32(L"\x0131"));
}

}  // namespace
