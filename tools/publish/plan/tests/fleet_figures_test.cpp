// The published figures of fleets small enough to work out by hand.
//
// The rotation fleet: 1,500 always-on clients, one for each minute of the
// 25-hour cycle. Client n's task starts at minute n / 25 after midnight and
// its last check before the run came (n mod 25) hourly firings before its
// last firing before the run; its request follows each firing by 5 s, with
// no jitter. So on day 0 the client with phase k = 24 - h and start minute m
// checks at hh:mm:05 of hour h: every minute of the day holds one request,
// and the 60 clients of phase 0 check at 00:mm of day 1. Every check comes
// 25 hours after the one before, an hour later each day: every day holds
// 1,440 requests, one per minute, and 60 clients (one phase) skip it.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "plan/client_fleet.h"
#include "plan/fleet_simulation.h"
#include "plan/plan_report.h"
#include "plan/plan_time.h"
#include "plan/seeded_draw.h"
#include "plan/uptime.h"

namespace {

constexpr uint32_t kRotationClients = 1500;
constexpr int64_t kRequestSecond = 5;
constexpr double kMiB = 1048576.0;
constexpr double kBytesPerSecondAt20Mbps = 2.5e6;
constexpr double kGbitPerSecondAt20Mbps = 0.02;

// Draws that give each client a chosen task start through the service's own
// RandomStartBoundary (Task Scheduler 2.0: the hour, the minute's tens, its
// units) or RandomStartTime (1.0: the hour, the minute).
class ChosenStarts : public StartDrawSource {
 public:
  ChosenStarts(int (*minuteOf)(uint32_t client), int schedulerVersion)
      : minuteOf_(minuteOf), schedulerVersion_(schedulerVersion) {}

  unsigned int Draw(uint32_t client, uint32_t index) const override {
    unsigned int minute = static_cast<unsigned int>(minuteOf_(client));
    if (index == 0) return minute / 60;
    if (schedulerVersion_ == 1) return minute % 60;
    return index == 1 ? minute % 60 / 10 : minute % 10;
  }

 private:
  int (*minuteOf_)(uint32_t client);
  int schedulerVersion_;
};

int RotationStart(uint32_t client) { return static_cast<int>(client / 25); }

PlanSettings RotationSettings(int days, int releaseDay) {
  PlanSettings settings;
  settings.clients = kRotationClients;
  settings.checkFrequency = 1;
  settings.packageMiB[kActiveX] = settings.packageMiB[kPlugin] = 20;
  settings.days = days;
  settings.releaseDay = releaseDay;
  settings.requestWindowLow = settings.requestWindowHigh = kRequestSecond;
  settings.startupJitterSeconds = 0;
  settings.failurePercent = 0;
  settings.installerResets = false;
  return settings;
}

Fleet MakeChosenFleet(const PlanSettings& settings, int (*minuteOf)(uint32_t)) {
  Fleet fleet;
  EXPECT_TRUE(MakeFleet(settings, UptimeModel(settings.uptime, settings.seed),
                        ChosenStarts(minuteOf, settings.schedulerVersion), fleet));
  return fleet;
}

struct RotationRun {
  PlanRecord record;
  PlanSummary summary;
};

RotationRun RunRotation(const PlanSettings& settings) {
  Fleet fleet = MakeChosenFleet(settings, RotationStart);
  RotationRun run;
  run.record = SimulateFleet(settings, fleet, nullptr);
  run.summary = SummarizePlan(settings, run.record);
  return run;
}

// One figure of every day of the run.
template <typename T>
std::vector<T> PerDay(const RotationRun& run, T PeriodFigures::*figure) {
  std::vector<T> values;
  for (const PeriodFigures& day : run.summary.days) values.push_back(day.*figure);
  return values;
}

std::vector<int64_t> MinutesToShare(const RotationRun& run) {
  return std::vector<int64_t>(run.summary.minutesToShare,
                              run.summary.minutesToShare + kAdoptionShareCount);
}

TEST(RotationFleet, EveryMinuteOfEveryDayHoldsOneRequest) {
  PlanSettings settings = RotationSettings(3, 3);
  RotationRun run = RunRotation(settings);
  for (int64_t second = 0; second < settings.days * kSecondsPerDay; ++second) {
    uint32_t expected = second % 60 == kRequestSecond ? 1 : 0;
    ASSERT_EQ(expected, run.record.requests[static_cast<std::size_t>(second)]) << second;
  }
  for (const PeriodFigures& day : run.summary.days) {
    EXPECT_EQ(std::make_tuple(1440u, 1u, 1u, 1440.0 / 86400, 1440u, 25.0),
              std::make_tuple(day.requests, day.peakRequestsPerSecond, day.peakRequestsPerMinute,
                              day.meanRequestsPerSecond, day.checkIntervals,
                              day.meanCheckIntervalHours));
  }
}

TEST(RotationFleet, ReleaseDownloadsOnePackageAMinuteAtTheClientsSpeed) {
  // Announced on day 1: every client that checks on day 1 downloads 20 MiB
  // at 20 Mbit/s, 8.388608 s from second 6 of its minute; the new version
  // runs from the end of its download. The phase that skips day 1 follows
  // at 00:00 to 00:59 of day 2. 50 % is 750 clients: the end of minute 749.
  PlanSettings settings = RotationSettings(3, 1);
  RotationRun run = RunRotation(settings);
  EXPECT_EQ(PerDay(run, &PeriodFigures::downloads), (std::vector<uint64_t>{0, 1440, 60}));
  EXPECT_DOUBLE_EQ(kGbitPerSecondAt20Mbps, run.summary.days[1].peakGbitPerSecond);
  EXPECT_NEAR(1440 * 20 * kMiB / 1e12, run.summary.days[1].terabytesSent, 1e-12);
  EXPECT_NEAR(kRotationClients * 20 * kMiB / 1e12, run.summary.run.terabytesSent, 1e-12);
  EXPECT_EQ(MinutesToShare(run), (std::vector<int64_t>{750, 1350, 1485}));
  // One minute of day 1, second by second.
  int64_t minuteStart = kSecondsPerDay + 17 * 60;
  for (int64_t second = 0; second < 60; ++second) {
    double expected = second >= 6 && second < 14 ? kBytesPerSecondAt20Mbps
                      : second == 14             ? 0.388608 * kBytesPerSecondAt20Mbps
                                                 : 0.0;
    EXPECT_NEAR(expected, run.record.packageBytes[minuteStart + second], 1e-3) << second;
  }
  EXPECT_EQ(1500u, run.summary.run.newVersionClients);
}

TEST(RotationFleet, DownloadsLongerThanAMinuteOverlapTheNextMinutes) {
  // 150 MiB takes 62.91456 s: the download of one minute runs until second
  // 8.91456 of the next, two at once for 2.91456 s of each minute.
  PlanSettings settings = RotationSettings(3, 1);
  settings.packageMiB[kActiveX] = 150;
  RotationRun run = RunRotation(settings);
  EXPECT_DOUBLE_EQ(2 * kGbitPerSecondAt20Mbps, run.summary.days[1].peakGbitPerSecond);
  int64_t nextMinute = kSecondsPerDay + 18 * 60;
  EXPECT_NEAR(2 * kBytesPerSecondAt20Mbps, run.record.packageBytes[nextMinute + 7], 1e-3);
  EXPECT_NEAR(1.91456 * kBytesPerSecondAt20Mbps, run.record.packageBytes[nextMinute + 8], 1e-3);
  EXPECT_NEAR(kBytesPerSecondAt20Mbps, run.record.packageBytes[nextMinute + 9], 1e-3);
  EXPECT_NEAR(kRotationClients * 150 * kMiB / 1e12, run.summary.run.terabytesSent, 1e-12);
}

TEST(RotationFleet, InstallerResetBringsOneMoreCheckAnHourAfterEachInstall) {
  // Each install at minute j of day 1 leaves LastUpdateCheck 0, so the
  // firing at j + 60 checks again, and the client's next check comes 25
  // hours after that one. Day 1: 1,440 checks and 1,380 more from the
  // resets, two a minute from 01:00 on. Day 2: the resets of 23:00 to 23:59
  // and the skipped phase, two a minute until 01:00; then that phase's
  // resets; from 02:00 the checks 25 hours after day 1's resets.
  PlanSettings settings = RotationSettings(3, 1);
  settings.installerResets = true;
  RotationRun run = RunRotation(settings);
  EXPECT_EQ(PerDay(run, &PeriodFigures::requests), (std::vector<uint64_t>{1440, 2820, 1500}));
  EXPECT_EQ(PerDay(run, &PeriodFigures::peakRequestsPerMinute), (std::vector<uint64_t>{1, 2, 2}));
  EXPECT_EQ(PerDay(run, &PeriodFigures::downloads), (std::vector<uint64_t>{0, 1440, 60}));
  // Only the checks 25 hours after the resets' come back to a download of
  // the day before: not the resets' own, not the skipped phase's first.
  EXPECT_EQ(0u, run.summary.release[0].returningChecks);
  EXPECT_EQ(1320u, run.summary.release[1].returningChecks);
  EXPECT_EQ(MinutesToShare(run), (std::vector<int64_t>{750, 1350, 1485}));
}

// A release day's figures: shown percent, clients on the new version,
// downloads, repeat downloads, returning checks, clients at the attempt
// limit, most attempts and the health signal.
using ReleaseRow =
    std::tuple<double, uint64_t, uint64_t, uint64_t, uint64_t, int64_t, uint32_t, double>;

std::vector<ReleaseRow> ReleaseRows(const RotationRun& run) {
  std::vector<ReleaseRow> rows;
  for (const ReleaseFigures& day : run.summary.release) {
    rows.emplace_back(day.shownPercent, day.newVersionClients, day.downloads,
                      day.repeatDownloads, day.returningChecks, day.attemptLimitClients,
                      day.mostAttempts, day.healthPercent);
  }
  return rows;
}

TEST(RotationFleet, CanariesFirstThenTheWholeFleet) {
  // Day 1 shows the new version to the 60 canaries alone (clients 0 to 59);
  // three of them (phase 1) skip the day. Day 2 shows it to everyone: all
  // but the 60 clients of phase 2 check, 54 of them canaries already new,
  // which return to it. Day 3: all but phase 3 check; all return but the
  // 57 of phase 2 that were no canaries.
  PlanSettings settings = RotationSettings(4, 1);
  settings.rolloutPercent = {0, 100};
  settings.canaryClients = 60;
  RotationRun run = RunRotation(settings);
  EXPECT_EQ(ReleaseRows(run), (std::vector<ReleaseRow>{{0, 57, 57, 0, 0, 0, 1, 0},
                                                      {100, 1443, 1386, 0, 54, 0, 1, 0},
                                                      {100, 1500, 57, 0, 1383, 0, 1, 0}}));
  EXPECT_EQ(-1, run.summary.gateDay);
}

TEST(RotationFleet, BadReleaseIsHaltedTheDayItsRepeatDownloadsPassTheGate) {
  // The installer takes nowhere. Day 1 downloads it once everywhere but in
  // the phase that skips the day; on day 2 the 1,440 checking clients
  // download it again, except the 60 of that phase, downloading it for the
  // first time: 1,380 repeats at as many returning checks. The rollout halts
  // at midnight: on day 3 nobody is shown it and nobody spends an attempt.
  PlanSettings settings = RotationSettings(4, 1);
  settings.badReleasePercent = 100;
  settings.gatePercent = 50;
  RotationRun run = RunRotation(settings);
  EXPECT_EQ(ReleaseRows(run), (std::vector<ReleaseRow>{{100, 0, 1440, 0, 0, 0, 1, 0},
                                                      {100, 0, 1440, 1380, 1380, 0, 2, 100},
                                                      {0, 0, 0, 0, 0, 0, 0, 0}}));
  EXPECT_EQ(2, run.summary.gateDay);
  EXPECT_EQ(0u, run.summary.notifyClients);
  std::string report = FormatPlanReport(settings, run.summary);
  EXPECT_NE(std::string::npos,
            report.find("2 Wed   100.00 %            0       1440      1380       1380         0"
                        "             2 100.00 %\n"))
      << report;
  EXPECT_NE(std::string::npos,
            report.find("health signal: above the gate of 50 % on day 2 Wed; rollout halted from "
                        "day 3\n"))
      << report;
}

TEST(RotationFleet, UnhaltedBadReleaseTakesEveryClientToTheAttemptLimit) {
  // A check every 25 hours, one attempt each from day 1: the seventh attempt
  // of phase k >= 1 (day 0 check at 24 - k h) comes at 199 - k h, on day 7
  // for k >= 8 and on day 8 for k <= 7; phase 0's at 174 h, day 7. The
  // eighth check, 25 hours later, switches each to notify mode.
  PlanSettings settings = RotationSettings(10, 1);
  settings.badReleasePercent = 100;
  settings.gatePercent = 100;
  RotationRun run = RunRotation(settings);
  std::vector<int64_t> atLimit;
  for (const ReleaseFigures& day : run.summary.release) atLimit.push_back(day.attemptLimitClients);
  // Days 1 to 9.
  EXPECT_EQ(atLimit, (std::vector<int64_t>{0, 0, 0, 0, 0, 0, 1080, 1500, 1500}));
  EXPECT_EQ(7u, run.summary.release[6].mostAttempts);
  EXPECT_EQ(1500u, run.summary.notifyClients);
  EXPECT_EQ(-1, run.summary.gateDay);
}

int MinuteOfClient(uint32_t client) { return static_cast<int>(client); }

TEST(MakeFleet, TaskStartIsTheServicesOwnOnBothSchedulers) {
  // Client n draws the start minute n (00:00 to 03:59) from either
  // scheduler's function; its task keeps the whole start, as the 120- and
  // 240-minute intervals need it.
  for (int version : {1, 2}) {
    PlanSettings settings = RotationSettings(1, 1);
    settings.clients = 240;
    settings.schedulerVersion = version;
    Fleet fleet = MakeChosenFleet(settings, MinuteOfClient);
    for (uint32_t client = 0; client < settings.clients; ++client) {
      EXPECT_EQ(client, fleet.clients[client].startMinute) << "scheduler " << version;
    }
  }
}

TEST(MakeFleet, DrawsVariantsAndInstallsThatDoNotTakeInTheirShares) {
  PlanSettings settings = RotationSettings(1, 1);
  settings.clients = 20000;
  settings.bothVariantsPercent = 30;
  settings.pluginOnlyPercent = 10;
  settings.badReleasePercent = 5;
  Fleet fleet = MakeChosenFleet(settings, MinuteOfClient);
  uint32_t both = 0, pluginOnly = 0, activeXOnly = 0, bad = 0;
  uint8_t activeX = VariantFlag(kHasVariant, kActiveX), plugin = VariantFlag(kHasVariant, kPlugin);
  for (const Client& client : fleet.clients) {
    uint8_t variants = client.flags & (activeX | plugin);
    both += variants == (activeX | plugin);
    pluginOnly += variants == plugin;
    activeXOnly += variants == activeX;
    bad += (client.flags & kInstallDoesNotTake) != 0;
  }
  EXPECT_NEAR(6000, both, 300);
  EXPECT_NEAR(2000, pluginOnly, 200);
  EXPECT_NEAR(12000, activeXOnly, 300);
  EXPECT_NEAR(1000, bad, 100);
}

TEST(UptimeModel, OfficeMachinesStartWithinTheFirstHourOfTheDay) {
  // Every start-up minute from 08:00 to 08:59 occurs, each about as often.
  UptimeModel uptime(Uptime::kOffice, 4);
  std::vector<uint32_t> count(60, 0);
  for (uint32_t client = 0; client < 1200; ++client) {
    for (int64_t day = 0; day < 5; ++day) {
      int minute = uptime.OfficeStartMinute(client, day) - 8 * 60;
      ASSERT_GE(minute, 0);
      ASSERT_LT(minute, 60);
      ++count[static_cast<std::size_t>(minute)];
    }
  }
  for (std::size_t minute = 0; minute < count.size(); ++minute) {
    EXPECT_NEAR(100, count[minute], 40) << "08:" << minute;
  }
}

}  // namespace
