#include "entry_filter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct CodeListCase {
  const char* text;
  bool parses;
  std::vector<std::pair<int32_t, int32_t>> ranges;
};

TEST(EntryFilterTest, ReadsCodesRangesAndLists) {
  const CodeListCase cases[] = {
      {"1403", true, {{1403, 1403}}},
      {"1400-1411", true, {{1400, 1411}}},
      {"1214,1217,1400-1411", true, {{1214, 1214}, {1217, 1217}, {1400, 1411}}},
      {"1411-1400", false, {}},
      {"1403,", false, {}},
      {",1403", false, {}},
      {"", false, {}},
      {"14o3", false, {}},
      {"12345", false, {}},
      {"-1403", false, {}},
      {"1403 1404", false, {}},
  };
  for (const CodeListCase& c : cases) {
    std::vector<CodeRange> codes{{1, 2}};
    ASSERT_EQ(ParseCodeList(c.text, codes), c.parses) << c.text;
    ASSERT_EQ(codes.size(), 1 + c.ranges.size()) << c.text;
    for (std::size_t index = 0; index < c.ranges.size(); ++index) {
      EXPECT_EQ(codes[index + 1].first, c.ranges[index].first) << c.text;
      EXPECT_EQ(codes[index + 1].last, c.ranges[index].second) << c.text;
    }
  }
}

LogEntry Entry(LogLevel level, LogTimestamp time, bool hasCode, int32_t code) {
  LogEntry entry;
  entry.parsed = true;
  entry.level = level;
  entry.time = time;
  entry.hasCode = hasCode;
  entry.code = code;
  return entry;
}

TEST(EntryFilterTest, KeepsEntriesThatMeetEverySetCondition) {
  const LogTimestamp nine{2026, 12, 8, 9, 0, 0, 0};
  const LogTimestamp ten{2026, 12, 8, 10, 0, 0, 0};
  const LogTimestamp justBeforeTen{2026, 12, 8, 9, 59, 59, 999};
  EntryFilter none;
  EntryFilter errorsOnly;
  errorsOnly.exactLevel = LogLevel::Error;
  EntryFilter warningsOnly;
  warningsOnly.exactLevel = LogLevel::Warning;
  EntryFilter warningAndUp;
  warningAndUp.minimumLevel = LogLevel::Warning;
  EntryFilter network;
  network.codes = {{1400, 1411}, {1214, 1214}};
  EntryFilter nineToTen;
  nineToTen.from = nine;
  nineToTen.to = ten;
  EntryFilter errorsFromTen;
  errorsFromTen.minimumLevel = LogLevel::Error;
  errorsFromTen.from = ten;

  const struct {
    const char* name;
    const EntryFilter& filter;
    LogEntry entry;
    bool passes;
  } cases[] = {
      {"no filter", none, Entry(LogLevel::Info, nine, true, 1608), true},
      {"exact level", errorsOnly, Entry(LogLevel::Error, nine, true, 1214), true},
      {"exact level, higher", warningsOnly, Entry(LogLevel::Error, nine, true, 1214), false},
      {"exact level, lower", errorsOnly, Entry(LogLevel::Warning, nine, true, 1403), false},
      {"minimum level, equal", warningAndUp, Entry(LogLevel::Warning, nine, true, 1403), true},
      {"minimum level, higher", warningAndUp, Entry(LogLevel::Error, nine, true, 1214), true},
      {"minimum level, lower", warningAndUp, Entry(LogLevel::Info, nine, true, 1608), false},
      {"code in a range", network, Entry(LogLevel::Warning, nine, true, 1407), true},
      {"code at a range's end", network, Entry(LogLevel::Warning, nine, true, 1411), true},
      {"single code", network, Entry(LogLevel::Error, nine, true, 1214), true},
      {"code outside", network, Entry(LogLevel::Warning, nine, true, 1413), false},
      {"message without a code", network, Entry(LogLevel::Info, nine, false, 0), false},
      {"from is inclusive", nineToTen, Entry(LogLevel::Info, nine, true, 1608), true},
      {"just before to", nineToTen, Entry(LogLevel::Info, justBeforeTen, true, 1608), true},
      {"to is exclusive", nineToTen, Entry(LogLevel::Info, ten, true, 1608), false},
      {"before from", nineToTen, Entry(LogLevel::Info, {2026, 12, 8, 8, 59, 59, 999}, true, 1608), false},
      {"level and time, both met", errorsFromTen, Entry(LogLevel::Error, ten, true, 1214), true},
      {"level and time, one met", errorsFromTen, Entry(LogLevel::Error, nine, true, 1214), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PassesFilter(c.entry, c.filter), c.passes) << c.name;
  }
}

TEST(EntryFilterTest, UnparsedLinesPassOnlyWhenNoConditionIsSet) {
  LogEntry foreign;
  foreign.message = "2026-12-08 [error] 1214 5";
  EntryFilter none;
  EXPECT_TRUE(PassesFilter(foreign, none));
  EntryFilter anyLevel;
  anyLevel.minimumLevel = LogLevel::Info;
  EXPECT_FALSE(PassesFilter(foreign, anyLevel));
}

}  // namespace
