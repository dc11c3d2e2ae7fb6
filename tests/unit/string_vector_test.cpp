#include "files/string_vector.h"

#include <gtest/gtest.h>

#include <string>

TEST(StringVector, StartsEmptyWithCapacityTen) {
  VUZI::StringVector names;
  EXPECT_EQ(0u, names.count());
  EXPECT_EQ(10u, names.capacity());
}

TEST(StringVector, AppendStoresACloneTheCallerKeepsItsOwn) {
  VUZI::StringVector names;
  ByteString name("first");
  names.Append(name);
  name = "changed";
  EXPECT_STREQ("first", names.At(0).c_str());
}

TEST(StringVector, DoublesCapacityWhenFullAndKeepsEveryItem) {
  VUZI::StringVector names;
  for (int i = 0; i < 25; ++i) ASSERT_TRUE(names.Append(ByteString(std::to_string(i).c_str())));
  EXPECT_EQ(25u, names.count());
  EXPECT_EQ(40u, names.capacity());
  for (int i = 0; i < 25; ++i) EXPECT_EQ(ByteString(std::to_string(i).c_str()), names.At(i));
}

TEST(StringVector, SortsLettersFirstThenNumbersByValue) {
  VUZI::StringVector names;
  for (const char* name : {"10", "b", "9", "a"}) names.Append(name);
  names.SortByFolderNameOrder();
  EXPECT_STREQ("a", names.At(0).c_str());
  EXPECT_STREQ("b", names.At(1).c_str());
  EXPECT_STREQ("9", names.At(2).c_str());
  EXPECT_STREQ("10", names.At(3).c_str());
}
