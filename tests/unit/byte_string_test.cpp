#include "common/byte_string.h"

#include <gtest/gtest.h>

TEST(ByteString, NullPointerMakesTheEmptyString) {
  ByteString text(nullptr);
  EXPECT_TRUE(text.empty());
  EXPECT_STREQ("", text.c_str());
}

TEST(ByteString, EqualityIsExactAndCaseSensitive) {
  EXPECT_EQ(ByteString("Key"), ByteString("Key"));
  EXPECT_NE(ByteString("Key"), ByteString("key"));
  EXPECT_NE(ByteString("Key"), ByteString("Key "));
  EXPECT_NE(ByteString("Key"), ByteString("Ke"));
}

TEST(ByteString, SelfAssignmentKeepsTheText) {
  ByteString text("value");
  ByteString& alias = text;
  text = alias;
  EXPECT_STREQ("value", text.c_str());
}

TEST(ByteString, AppendJoinsAndAppendingItselfDoubles) {
  ByteString text("ab");
  text.Append("cd", 2);
  EXPECT_STREQ("abcd", text.c_str());
  text.Append(text);
  EXPECT_STREQ("abcdabcd", text.c_str());
  EXPECT_EQ(8u, text.length());
}

TEST(ByteString, MoveAssignmentSwapsSoTheSourceHoldsTheOldText) {
  ByteString source("moved");
  ByteString target("old");
  target = std::move(source);
  EXPECT_STREQ("moved", target.c_str());
  EXPECT_EQ(5u, target.length());
  EXPECT_STREQ("old", source.c_str());
  EXPECT_EQ(3u, source.length());
}
