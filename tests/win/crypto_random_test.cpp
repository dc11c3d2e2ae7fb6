#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>

#include "task/task_schedule.h"
#include "task/task_values.h"

TEST(CryptoRandom, StartTimesFromTheRuntimeSourceVaryWithinTheirRange) {
  const std::wregex shape(L"2000-01-01T0[0-3]:[0-5][0-9]:00Z");
  std::set<std::wstring> boundaries;
  for (int i = 0; i < 64; ++i) {
    std::wstring boundary = RandomStartBoundary(DrawCryptoRandom);
    EXPECT_TRUE(std::regex_match(boundary, shape)) << boundary.c_str();
    boundaries.insert(boundary);
  }
  // 240 possible times: 64 draws all alike would mean the source is stuck.
  EXPECT_GT(boundaries.size(), 1u);
}

TEST(CryptoRandom, DrawsSucceed) {
  unsigned int value = 0;
  EXPECT_TRUE(DrawCryptoRandom(&value));
}
