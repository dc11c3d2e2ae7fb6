#include "health/cohort_timeline.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cohort/cohort.h"
#include "store/rollout_state.h"

namespace {

constexpr int64_t kStart = 1796896800;
constexpr int64_t kHour = 3600;

std::string Address(int index) {
  if (index % 3 == 0) {
    char text[64];
    std::snprintf(text, sizeof text, "2001:db8:%x:%x::%x", index / 65536, index % 65536, index);
    return text;
  }
  return "10." + std::to_string(index / 65536 % 256) + "." + std::to_string(index / 256 % 256) +
         "." + std::to_string(index % 256);
}

// A rollout of 2.0.0.0 over 1.0.0.0 after an earlier, completed one.
RolloutState Rollout() {
  RolloutState state;
  state.current = "1.0.0.0";
  state.candidate = "2.0.0.0";
  state.salt = "a1b2c3";
  state.canaries = {"192.0.2.0/24"};
  state.percent = 25;
  state.history = {{kStart - 90 * 24 * kHour, "start", "1.0.0.0", 50, ""},
                   {kStart - 80 * 24 * kHour, "complete", "1.0.0.0", 100, ""},
                   {kStart, "start", "2.0.0.0", 5, ""},
                   {kStart + 24 * kHour, "set", "2.0.0.0", 25, ""},
                   {kStart + 30 * kHour, "halt", "2.0.0.0", 25, ""},
                   {kStart + 36 * kHour, "resume", "2.0.0.0", 25, ""},
                   {kStart + 40 * kHour, "halt", "2.0.0.0", 0, ""},
                   {kStart + 44 * kHour, "set", "2.0.0.0", 50, ""}};
  return state;
}

TEST(CohortTimeline, PlacesEveryAddressAsTheServedConfigurationDoes) {
  CohortTimeline timeline;
  std::string error;
  ASSERT_TRUE(timeline.Load(Rollout(), error)) << error;
  CanaryRanges canaries;
  ASSERT_TRUE(canaries.Parse({"192.0.2.0/24"}, error));
  struct Moment {
    int64_t time;
    double percent;  // -1: nobody is served the candidate
  };
  const Moment kMoments[] = {{kStart - 1, -1},           {kStart, 5},
                             {kStart + 23 * kHour, 5},    {kStart + 24 * kHour, 25},
                             {kStart + 31 * kHour, -1},   {kStart + 38 * kHour, 25},
                             {kStart + 41 * kHour, -1},   {kStart + 45 * kHour, 50}};
  for (const Moment& moment : kMoments) {
    int candidates = 0;
    for (int index = 0; index < 4000; ++index) {
      std::string address = Address(index), key;
      ASSERT_TRUE(CohortKey(address, key)) << address;
      bool expected = moment.percent >= 0 && InShare("a1b2c3", key, moment.percent);
      Cohort cohort = timeline.Place(address, key, moment.time);
      ASSERT_EQ(expected ? Cohort::kCandidate : Cohort::kControl, cohort)
          << address << " at " << moment.time;
      candidates += cohort == Cohort::kCandidate;
    }
    if (moment.percent > 0) EXPECT_NEAR(moment.percent * 40, candidates, 4000 * 0.03);
  }
  // Canaries see the candidate before any share, but not while halted.
  for (const char* canary : {"192.0.2.7", "192.0.2.200"}) {
    std::string key;
    ASSERT_TRUE(CohortKey(canary, key));
    ASSERT_TRUE(canaries.Contains(canary));
    EXPECT_EQ(Cohort::kCandidate, timeline.Place(canary, key, kStart));
    EXPECT_EQ(Cohort::kControl, timeline.Place(canary, key, kStart + 31 * kHour));
    EXPECT_EQ(Cohort::kControl, timeline.Place(canary, key, kStart - 1));
  }
}

TEST(CohortTimeline, CountsExposureWithoutHalts) {
  CohortTimeline timeline;
  std::string error;
  ASSERT_TRUE(timeline.Load(Rollout(), error)) << error;
  EXPECT_DOUBLE_EQ(0, timeline.ExposedDays(kStart - 10));
  EXPECT_DOUBLE_EQ(1, timeline.ExposedDays(kStart + 24 * kHour));
  // 30 hours served, 6 halted, 4 served, 4 halted, 4 served.
  EXPECT_DOUBLE_EQ(38.0 / 24, timeline.ExposedDays(kStart + 48 * kHour));
  EXPECT_EQ(kStart, timeline.Start());
}

TEST(CohortTimeline, PlacesEveryoneInControlWithoutACandidateAndRefusesBadCanaries) {
  RolloutState state = Rollout();
  state.candidate.clear();
  CohortTimeline timeline;
  std::string error;
  ASSERT_TRUE(timeline.Load(state, error)) << error;
  EXPECT_FALSE(timeline.HasCandidate());
  EXPECT_EQ(Cohort::kControl, timeline.Place("192.0.2.7", "192.0.2.7", kStart));
  EXPECT_DOUBLE_EQ(0, timeline.ExposedDays(kStart + 48 * kHour));
  state = Rollout();
  state.canaries = {"192.0.2.0/33"};
  EXPECT_FALSE(timeline.Load(state, error));
  EXPECT_NE(std::string::npos, error.find("192.0.2.0/33")) << error;
}

}  // namespace
