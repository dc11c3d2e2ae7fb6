#include <gtest/gtest.h>

#include "task/update_task.h"

// This test program carries no string resources.
TEST(TaskDescription, MissingResourceGivesTheFixedText) {
  EXPECT_EQ(L"MISSING LOCALIZATION", LoadTaskDescription());
}
