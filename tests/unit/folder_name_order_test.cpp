#include "files/folder_name_order.h"

#include <gtest/gtest.h>

TEST(CompareFolderNames, OrdersByTheNameRules) {
  struct Case {
    const char* a;
    const char* b;
    int order;
  } cases[] = {
      {"9", "10", -1},          // numbers by value
      {"007", "7", 0},          // leading zeros do not count
      {"a", "9", -1},           // letters before numbers
      {"b", "a", 1},            // byte order
      {"ab", "abc", -1},        // a prefix first
      {"B", "a", -1},           // upper case before lower case in bytes
      {"\xC3\xA9", "z", 1},     // bytes compare as unsigned values
      {"", "0", 0},             // the empty name is numeric zero
      {"12a", "12", -1},        // not all digits: non-numeric
      {"99999999999999999999", "100000000000000000000", -1},  // beyond any int
  };
  for (const Case& c : cases) {
    int order = CompareFolderNames(c.a, c.b);
    EXPECT_EQ(c.order, order < 0 ? -1 : (order > 0 ? 1 : 0)) << c.a << " vs " << c.b;
    int reverse = CompareFolderNames(c.b, c.a);
    EXPECT_EQ(-c.order, reverse < 0 ? -1 : (reverse > 0 ? 1 : 0)) << c.b << " vs " << c.a;
  }
}
