#include "log/install_log_line.h"

#include <gtest/gtest.h>

#include <climits>

TEST(ToDecimalString, WritesPlainSignedDecimal) {
  struct Case {
    int32_t value;
    const wchar_t* text;
  } cases[] = {
      {0, L"0"},           {-1, L"-1"},
      {1617, L"1617"},     {INT32_MAX, L"2147483647"},
      {INT32_MIN, L"-2147483648"},
      // An HRESULT of 0x80070005 reads as a negative number.
      {static_cast<int32_t>(0x80070005u), L"-2147024891"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.text, ToDecimalString(c.value)) << c.value;
}

TEST(FormatInstallLogLine, WritesAnUnpaddedTimeStamp) {
  LogTimestamp time{2011, 6, 7, 8, 5, 3, 42};
  EXPECT_EQ(L"2011-6-7+8-5-3.42 [error] 1234 5\r\n",
            FormatInstallLogLine(time, LogLevel::Error, L"1234 5"));
}

TEST(FormatInstallLogLine, WritesTheLargestFieldsInFull) {
  LogTimestamp time{2011, 12, 31, 23, 59, 59, 999};
  EXPECT_EQ(L"2011-12-31+23-59-59.999 [info] 1617\r\n",
            FormatInstallLogLine(time, LogLevel::Info, L"1617"));
}

TEST(FormatInstallLogLine, NamesEachLevel) {
  LogTimestamp time{2020, 1, 2, 3, 4, 5, 6};
  EXPECT_EQ(L"2020-1-2+3-4-5.6 [warning] x\r\n", FormatInstallLogLine(time, LogLevel::Warning, L"x"));
  EXPECT_EQ(L"2020-1-2+3-4-5.6 [info] x\r\n", FormatInstallLogLine(time, LogLevel::Info, L"x"));
}

TEST(FormatInstallLogLine, KeepsEmptyAndMultiLineMessagesUnchanged) {
  LogTimestamp time{2020, 1, 2, 3, 4, 5, 6};
  EXPECT_EQ(L"2020-1-2+3-4-5.6 [error] \r\n", FormatInstallLogLine(time, LogLevel::Error, L""));
  EXPECT_EQ(L"2020-1-2+3-4-5.6 [error] a\r\nb\r\n",
            FormatInstallLogLine(time, LogLevel::Error, L"a\r\nb"));
}
