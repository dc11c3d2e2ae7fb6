#include "task/task_schedule.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <regex>
#include <string>
#include <vector>

namespace {

// A scripted random source: each draw takes the next entry; an entry without
// a value is a failed draw. Counts the draws it was asked for.
struct ScriptedDraw {
  bool succeeds;
  unsigned int value;
};
std::deque<ScriptedDraw> script;
int drawsTaken = 0;

bool TakeScriptedDraw(unsigned int* value) {
  ++drawsTaken;
  if (script.empty()) {
    ADD_FAILURE() << "more draws than scripted";
    return false;
  }
  ScriptedDraw next = script.front();
  script.pop_front();
  if (next.succeeds) *value = next.value;
  return next.succeeds;
}

void Script(std::vector<ScriptedDraw> draws) {
  script.assign(draws.begin(), draws.end());
  drawsTaken = 0;
}

constexpr ScriptedDraw Fails{false, 0};
ScriptedDraw Gives(unsigned int value) { return ScriptedDraw{true, value}; }

}  // namespace

TEST(RepetitionInterval, FrequencySelectsOneTwoOrFourHours) {
  struct Case {
    int32_t frequency;
    const wchar_t* text;
    int minutes;
  };
  const Case cases[] = {
      {0, L"PT1H", 60},         {1, L"PT1H", 60},          {2, L"PT2H", 120},
      {3, L"PT4H", 240},        {4, L"PT4H", 240},         {24, L"PT4H", 240},
      {-1, L"PT4H", 240},       {INT32_MIN, L"PT4H", 240}, {INT32_MAX, L"PT4H", 240},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.text, RepetitionIntervalText(c.frequency)) << c.frequency;
    EXPECT_EQ(c.minutes, RepetitionIntervalMinutes(c.frequency)) << c.frequency;
  }
}

TEST(RandomStartBoundary, DrawsOfTwoThreeAndSevenGiveTwoThirtySeven) {
  Script({Gives(2), Gives(3), Gives(7)});
  EXPECT_EQ(L"2000-01-01T02:37:00Z", RandomStartBoundary(TakeScriptedDraw));
  EXPECT_EQ(3, drawsTaken);
}

TEST(RandomStartBoundary, ReducesEachDrawToItsDigitRange) {
  struct Case {
    unsigned int hour, tens, units;
    const wchar_t* boundary;
  };
  const Case cases[] = {
      {3, 5, 9, L"2000-01-01T03:59:00Z"},
      {4, 6, 10, L"2000-01-01T00:00:00Z"},
      {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, L"2000-01-01T03:35:00Z"},
      {6, 13, 27, L"2000-01-01T02:17:00Z"},
  };
  for (const Case& c : cases) {
    Script({Gives(c.hour), Gives(c.tens), Gives(c.units)});
    EXPECT_EQ(c.boundary, RandomStartBoundary(TakeScriptedDraw));
  }
}

TEST(RandomStartBoundary, FailedDrawsGiveZeroDigits) {
  Script({Fails, Fails, Fails});
  EXPECT_EQ(L"2000-01-01T00:00:00Z", RandomStartBoundary(TakeScriptedDraw));
  Script({Gives(3), Fails, Gives(8)});
  EXPECT_EQ(L"2000-01-01T03:08:00Z", RandomStartBoundary(TakeScriptedDraw));
  Script({Fails, Gives(4), Fails});
  EXPECT_EQ(L"2000-01-01T00:40:00Z", RandomStartBoundary(TakeScriptedDraw));
}

TEST(RandomStartBoundary, EveryDrawLiesOnNewYear2000BeforeFourWithZeroSeconds) {
  const std::wregex shape(L"2000-01-01T0[0-3]:[0-5][0-9]:00Z");
  for (unsigned int value = 0; value < 300; ++value) {
    Script({Gives(value * 7919u), Gives(value * 104729u), Gives(value)});
    std::wstring boundary = RandomStartBoundary(TakeScriptedDraw);
    EXPECT_EQ(20u, boundary.size());
    EXPECT_TRUE(std::regex_match(boundary, shape)) << value;
  }
}

TEST(RandomStartTime, HourFromTheFirstDrawMinuteFromTheSecond) {
  struct Case {
    ScriptedDraw hour, minute;
    uint16_t expectedHour, expectedMinute;
  };
  const Case cases[] = {
      {Gives(2), Gives(37), 2, 37},   {Gives(7), Gives(119), 3, 59},
      {Gives(4), Gives(60), 0, 0},    {Fails, Gives(61), 0, 1},
      {Gives(1), Fails, 1, 0},        {Fails, Fails, 0, 0},
      {Gives(0xFFFFFFFFu), Gives(0xFFFFFFFFu), 3, 15},
  };
  for (const Case& c : cases) {
    Script({c.hour, c.minute});
    StartTime time = RandomStartTime(TakeScriptedDraw);
    EXPECT_EQ(c.expectedHour, time.hour);
    EXPECT_EQ(c.expectedMinute, time.minute);
    EXPECT_EQ(2, drawsTaken);
  }
}

TEST(SchedulerVersion, NtSixAndLaterUseTheNewerScheduler) {
  struct Case {
    uint32_t platform, major;
    int32_t version;
  };
  const Case cases[] = {
      {2, 5, 1},  {2, 4, 1}, {2, 6, 2}, {2, 10, 2},
      {1, 6, 1},  // Windows 9x/Me report platform 1
      {0, 6, 1},  {3, 10, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.version, SchedulerVersionFor(c.platform, c.major)) << c.platform << "/" << c.major;
  }
}
