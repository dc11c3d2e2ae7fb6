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

TEST(StringVector, CloneIsAnIndependentCopyThatDestroyItemFrees) {
  VUZI::StringVector names;
  ByteString original("name");
  void* clone = names.CloneItem(&original);
  ASSERT_NE(static_cast<void*>(&original), clone);
  EXPECT_EQ(original, *static_cast<ByteString*>(clone));
  EXPECT_NE(original.c_str(), static_cast<ByteString*>(clone)->c_str());
  names.DestroyItem(clone);  // LeakSanitizer fails the run if the copy stays
  names.DestroyItem(nullptr);
  EXPECT_EQ(0u, names.count());
}

TEST(StringVector, DestructionFreesEveryNameFromAGrownArray) {
  // Under AddressSanitizer a name left behind is a leak and a name freed twice
  // is a double free; both fail the run.
  auto* names = new VUZI::StringVector;
  for (int i = 0; i < 21; ++i) names->Append(ByteString(std::to_string(i).c_str()));
  EXPECT_EQ(21u, names->count());
  SMImplementation::PointerVector* base = names;
  delete base;
}
