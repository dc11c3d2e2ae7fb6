#include "plan/rollout_schedule.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "plan/plan_time.h"

namespace {

constexpr uint32_t kClients = 20000;
constexpr int kReleaseDay = 2;

PlanSettings RolloutSettings() {
  PlanSettings settings;
  settings.clients = kClients;
  settings.releaseDay = kReleaseDay;
  settings.rolloutPercent = {1, 5, 25, 100};
  settings.stepHours = 12;
  settings.canaryClients = 10;
  settings.seed = 11;
  return settings;
}

int64_t StepMinute(int step, int64_t minuteInStep) {
  return kReleaseDay * kMinutesPerDay + step * 12 * 60 + minuteInStep;
}

std::vector<bool> Shown(const RolloutSchedule& rollout, int64_t minute) {
  std::vector<bool> shown(kClients);
  for (uint32_t client = 0; client < kClients; ++client) {
    shown[client] = rollout.ShowsNewVersion(client, minute);
  }
  return shown;
}

uint32_t Count(const std::vector<bool>& shown) {
  uint32_t count = 0;
  for (bool one : shown) count += one;
  return count;
}

TEST(RolloutSchedule, EachStepShowsItsShareAndKeepsTheClientsOfTheStepBefore) {
  RolloutSchedule rollout(RolloutSettings());
  const double shares[] = {1, 5, 25, 100};
  std::vector<bool> before(kClients, false);
  for (int step = 0; step < 4; ++step) {
    std::vector<bool> first = Shown(rollout, StepMinute(step, 0));
    std::vector<bool> last = Shown(rollout, StepMinute(step, 12 * 60 - 1));
    EXPECT_EQ(first, last) << "step " << step;
    EXPECT_EQ(shares[step], rollout.SharePercentAt(StepMinute(step, 0)));
    double expected = 10 + (kClients - 10) * shares[step] / 100;
    EXPECT_NEAR(expected, Count(first), 4 * std::sqrt(expected) + 1) << "step " << step;
    for (uint32_t client = 0; client < kClients; ++client) {
      ASSERT_TRUE(!before[client] || first[client]) << "client " << client << " step " << step;
    }
    before = first;
  }
  EXPECT_EQ(kClients, Count(Shown(rollout, StepMinute(9, 0))));
}

TEST(RolloutSchedule, CanariesFirstNothingBeforeTheAnnouncementNothingAfterAHalt) {
  PlanSettings settings = RolloutSettings();
  settings.rolloutPercent = {0, 100};
  RolloutSchedule rollout(settings);
  EXPECT_EQ(0u, Count(Shown(rollout, StepMinute(0, 0) - 1)));
  std::vector<bool> canaries = Shown(rollout, StepMinute(0, 0));
  EXPECT_EQ(10u, Count(canaries));
  for (uint32_t client = 0; client < 10; ++client) EXPECT_TRUE(canaries[client]);
  rollout.Halt(StepMinute(1, 30));
  EXPECT_EQ(kClients, Count(Shown(rollout, StepMinute(1, 29))));
  EXPECT_EQ(0u, Count(Shown(rollout, StepMinute(1, 30))));
  EXPECT_EQ(0, rollout.SharePercentAt(StepMinute(5, 0)));
}

}  // namespace
