#include "plan/fleet_simulation.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <string>
#include <vector>

#include "plan/client_fleet.h"
#include "plan/plan_time.h"
#include "plan/steady_jitter.h"
#include "plan/uptime.h"
#include "task/task_schedule.h"

namespace {

constexpr int64_t kHour = 3600;
constexpr int64_t kDay = kSecondsPerDay;
constexpr uint8_t kRequestDelay = 3;
constexpr uint8_t kActiveXOnly = kHasVariant;
constexpr uint8_t kBothVariants = kHasVariant | (kHasVariant << 1);

// One client whose last firing before the run was at `lastFiring`.
Fleet OneClient(int startMinute, uint64_t lastCheck, int intervalMinutes, int32_t lastFiring,
                uint8_t flags = kActiveXOnly, uint8_t attempts = 0) {
  Fleet fleet;
  fleet.clients.push_back(Client{lastCheck, static_cast<uint8_t>(startMinute), kRequestDelay,
                                 static_cast<uint8_t>(intervalMinutes), attempts, flags});
  fleet.lastFiring.push_back(lastFiring);
  return fleet;
}

// A client as "-createDefaultTask" leaves it: never checked, hourly task.
Fleet NewClient(int startMinute, uint8_t flags = kActiveXOnly) {
  return OneClient(startMinute, 0, 60, -1, flags);
}

// One client, no start-up jitter, every fetch and download succeeds, no
// rollout gate.
PlanSettings OneClientSettings(int32_t frequency, int days) {
  PlanSettings settings;
  settings.clients = 1;
  settings.checkFrequency = frequency;
  settings.packageMiB[kActiveX] = settings.packageMiB[kPlugin] = 50;
  settings.days = days;
  settings.releaseDay = days;  // none within the run
  settings.startupJitterSeconds = 0;
  settings.failurePercent = 0;
  settings.gatePercent = 100;
  return settings;
}

// The seconds of the run at which the fleet requested the manifest.
std::vector<int64_t> RequestSeconds(const PlanRecord& record) {
  std::vector<int64_t> seconds;
  for (std::size_t second = 0; second < record.requests.size(); ++second) {
    for (uint32_t count = 0; count < record.requests[second]; ++count) {
      seconds.push_back(static_cast<int64_t>(second));
    }
  }
  return seconds;
}

// The minutes of the run in which downloads started.
std::vector<int64_t> DownloadMinutes(const PlanRecord& record) {
  std::vector<int64_t> minutes;
  for (std::size_t minute = 0; minute < record.downloads.size(); ++minute) {
    for (uint32_t count = 0; count < record.downloads[minute]; ++count) {
      minutes.push_back(static_cast<int64_t>(minute));
    }
  }
  return minutes;
}

int64_t At(int64_t day, int64_t hour, int64_t minute) {
  return day * kDay + hour * kHour + minute * 60 + kRequestDelay;
}

int64_t MinuteOf(int64_t day, int64_t hour, int64_t minute) {
  return day * kMinutesPerDay + hour * 60 + minute;
}

uint64_t Downloads(const PlanRecord& record) {
  uint64_t total = 0;
  for (uint32_t count : record.downloads) total += count;
  return total;
}

TEST(FleetSimulation, AlwaysOnClientChecksEveryTwentyFiveHoursAtEveryFrequency) {
  // Start 02:37: the first check at the first firing, 00:37; 24 hours later
  // the firing finds the check not yet due (it was stored a second after the
  // request), so the next check is an hour later, whatever the frequency.
  for (int32_t frequency : {1, 2, 4}) {
    Fleet fleet = NewClient(2 * 60 + 37);
    PlanRecord record = SimulateFleet(OneClientSettings(frequency, 3), fleet, nullptr);
    EXPECT_EQ((std::vector<int64_t>{At(0, 0, 37), At(1, 1, 37), At(2, 2, 37)}),
              RequestSeconds(record))
        << "frequency " << frequency;
    EXPECT_EQ(1u, record.checkIntervals[1]);
    EXPECT_EQ(25.0 * kHour, record.checkIntervalSeconds[1]);
  }
}

TEST(FleetSimulation, OfficeClientWaitsForTheManifestIntervalAfterTheWeekend) {
  // Start 03:59: hourly firings at :59 (08:59 is on whatever the start-up
  // minute), four-hourly ones at 03:59, 07:59, 11:59, 15:59. The Friday 17:59
  // check left the task at the manifest's interval; its next firing fell while
  // the machine was off, so Monday's first firing comes at that interval.
  struct Case {
    int32_t frequency;
    std::vector<int64_t> checks;
  } cases[] = {
      {1, {At(0, 8, 59), At(1, 9, 59), At(2, 10, 59)}},
      {4, {At(0, 11, 59), At(1, 12, 59), At(2, 13, 59)}},
  };
  for (const Case& c : cases) {
    int32_t friday = static_cast<int32_t>(-3 * kMinutesPerDay + 17 * 60 + 59);
    Fleet fleet = OneClient(3 * 60 + 59, FileTimeAt(friday * 60 + kRequestDelay + kFetchSeconds),
                            RepetitionIntervalMinutes(c.frequency), friday);
    PlanSettings settings = OneClientSettings(c.frequency, 3);
    settings.uptime = Uptime::kOffice;
    EXPECT_EQ(c.checks, RequestSeconds(SimulateFleet(settings, fleet, nullptr)))
        << "frequency " << c.frequency;
  }
}

TEST(FleetSimulation, CycleThatLaunchesAnInstallerLeavesTheTaskAsItIs) {
  // An office client at frequency 4 checks on Friday at 17:59, at an hourly
  // firing, and launches the installer: the task stays hourly, so Monday's
  // first hourly firing (08:59) checks, as it does when the installer resets
  // the client. A cycle that re-registered the four-hourly task would wait
  // for 11:59.
  for (bool resets : {false, true}) {
    int32_t thursday = static_cast<int32_t>(MinuteOf(3, 16, 59));
    Fleet fleet = OneClient(3 * 60 + 59, FileTimeAt(At(3, 16, 59) + kFetchSeconds), 60, thursday);
    PlanSettings settings = OneClientSettings(4, 9);
    settings.uptime = Uptime::kOffice;
    settings.releaseDay = 4;
    settings.installerResets = resets;
    PlanRecord record = SimulateFleet(settings, fleet, nullptr);
    EXPECT_EQ((std::vector<int64_t>{At(4, 17, 59), At(7, 8, 59), At(8, 9, 59)}),
              RequestSeconds(record))
        << "resets " << resets;
    EXPECT_EQ(std::vector<int64_t>{MinuteOf(4, 17, 59)}, DownloadMinutes(record));
  }
}

TEST(FleetSimulation, DueTestIsTheServicesOwnWithItsOddCases) {
  // A last check in the future (the clock was set back) is due only 24 hours
  // after it; one at the top of the range wraps and is due at once.
  struct Case {
    uint64_t lastCheck;
    int64_t firstCheck;
  } cases[] = {
      {FileTimeAt(kDay + 30 * 60), At(2, 0, 37)},
      {UINT64_MAX, At(0, 0, 37)},
      {0, At(0, 0, 37)},
  };
  for (const Case& c : cases) {
    Fleet fleet = OneClient(2 * 60 + 37, c.lastCheck, 60, -1);
    std::vector<int64_t> checks =
        RequestSeconds(SimulateFleet(OneClientSettings(1, 3), fleet, nullptr));
    ASSERT_FALSE(checks.empty()) << c.lastCheck;
    EXPECT_EQ(c.firstCheck, checks.front()) << c.lastCheck;
  }
}

TEST(FleetSimulation, AttemptLimitStopsAClientAfterSevenInstallAttempts) {
  // Ten days hold ten checks, 25 hours apart. With every attempt failing, or
  // every installer not taking, the eighth check still fetches the manifest,
  // finds 7 attempts and switches to notify mode; nothing follows. A client
  // already at 7 attempts does so at its first check, whether or not a newer
  // version is announced. A successful install is the only one.
  struct Case {
    const char* name;
    double failurePercent;
    uint8_t flags;
    uint8_t attempts;
    int releaseDay;
    std::size_t requests;
    uint64_t downloads;
    uint32_t notify;
  } cases[] = {
      {"every download fails", 100, kActiveXOnly, 0, 0, 8, 7, 1},
      {"the installer does not take", 0, kActiveXOnly | kInstallDoesNotTake, 0, 0, 8, 7, 1},
      {"at the limit, nothing announced", 0, kActiveXOnly, 7, 10, 1, 0, 1},
      {"at the limit, a release", 0, kActiveXOnly, 7, 0, 1, 0, 1},
      {"installs", 0, kActiveXOnly, 0, 0, 10, 1, 0},
  };
  for (const Case& c : cases) {
    PlanSettings settings = OneClientSettings(1, 10);
    settings.releaseDay = c.releaseDay;
    settings.failurePercent = c.failurePercent;
    settings.installerResets = false;
    Fleet fleet = OneClient(2 * 60 + 37, 0, 60, -1, c.flags, c.attempts);
    PlanRecord record = SimulateFleet(settings, fleet, nullptr);
    EXPECT_EQ(c.requests, RequestSeconds(record).size()) << c.name;
    EXPECT_EQ(c.downloads, Downloads(record)) << c.name;
    EXPECT_EQ(c.notify, record.notifyClients) << c.name;
  }
}

TEST(FleetSimulation, SeventhAttemptThatTakesIsCountedOnlyUntilTheInstallersReset) {
  // Six attempts before the run; the seventh installs. The installer's
  // reset takes the client back below the limit and its next check, an
  // hour later, goes on; without the reset the next due check ends in
  // notify mode.
  for (bool resets : {false, true}) {
    PlanSettings settings = OneClientSettings(1, 3);
    settings.releaseDay = 0;
    settings.installerResets = resets;
    Fleet fleet = OneClient(2 * 60 + 37, 0, 60, -1, kActiveXOnly, 6);
    PlanRecord record = SimulateFleet(settings, fleet, nullptr);
    EXPECT_EQ(resets ? 0 : 1, std::accumulate(record.attemptLimitChanges.begin(),
                                              record.attemptLimitChanges.end(), 0))
        << "resets " << resets;
    EXPECT_EQ(resets ? 0u : 1u, record.notifyClients) << "resets " << resets;
    EXPECT_EQ(resets ? 4u : 2u, RequestSeconds(record).size()) << "resets " << resets;
  }
}

TEST(FleetSimulation, NoCycleStartsWhileTheServiceIsStillDownloading) {
  // 1000 MiB at 2 Mbit/s takes 69.9 minutes: the ActiveX download runs from
  // 00:37:04 to 01:46:58, so the firing at 01:37 finds the service running
  // and the plug-in, due since the installer's reset, waits for 02:37.
  PlanSettings settings = OneClientSettings(1, 1);
  settings.releaseDay = 0;
  settings.clientMbps = 2;
  settings.packageMiB[kActiveX] = 1000;
  settings.packageMiB[kPlugin] = 1;
  Fleet fleet = NewClient(2 * 60 + 37, kBothVariants);
  PlanRecord record = SimulateFleet(settings, fleet, nullptr);
  EXPECT_EQ((std::vector<int64_t>{MinuteOf(0, 0, 37), MinuteOf(0, 2, 37)}),
            DownloadMinutes(record));
  EXPECT_EQ((std::vector<int64_t>{At(0, 0, 37), At(0, 2, 37), At(0, 3, 37)}),
            RequestSeconds(record));
}

TEST(FleetSimulation, BothVariantsInstallActiveXFirstAndThePluginAtTheNextDueCheck) {
  // ActiveX 10 MiB, plug-in 30 MiB, announced at the start. Without the
  // installer's reset the plug-in waits for the next due check, 25 hours
  // later; with it the check after each install is due at the next hourly
  // firing: the plug-in an hour after ActiveX, and one more check an hour
  // later that finds nothing to install and starts the 25-hour rhythm.
  struct Case {
    bool resets;
    std::vector<int64_t> requests;
    std::vector<int64_t> downloads;
    int64_t newVersionMinute;
  } cases[] = {
      {false,
       {At(0, 0, 37), At(1, 1, 37), At(2, 2, 37)},
       {MinuteOf(0, 0, 37), MinuteOf(1, 1, 37)},
       MinuteOf(1, 1, 37)},
      {true,
       {At(0, 0, 37), At(0, 1, 37), At(0, 2, 37), At(1, 3, 37), At(2, 4, 37)},
       {MinuteOf(0, 0, 37), MinuteOf(0, 1, 37)},
       MinuteOf(0, 1, 37)},
  };
  for (const Case& c : cases) {
    PlanSettings settings = OneClientSettings(4, 3);
    settings.releaseDay = 0;
    settings.packageMiB[kActiveX] = 10;
    settings.packageMiB[kPlugin] = 30;
    settings.installerResets = c.resets;
    Fleet fleet = NewClient(2 * 60 + 37, kBothVariants);
    PlanRecord record = SimulateFleet(settings, fleet, nullptr);
    EXPECT_EQ(c.requests, RequestSeconds(record)) << "resets " << c.resets;
    EXPECT_EQ(c.downloads, DownloadMinutes(record)) << "resets " << c.resets;
    // All of ActiveX's 10 MiB within its minute, 40 MiB in all.
    auto bytes = record.packageBytes.begin();
    EXPECT_NEAR(40.0 * 1048576, std::accumulate(bytes, record.packageBytes.end(), 0.0), 1e-3);
    bytes += c.downloads[0] * 60;
    EXPECT_NEAR(10.0 * 1048576, std::accumulate(bytes, bytes + 60, 0.0), 1e-3);
    EXPECT_EQ(1u, record.newVersionStarts[static_cast<std::size_t>(c.newVersionMinute)]);
    EXPECT_EQ(c.resets ? 0 : 2, fleet.clients[0].updateAttempts);
  }
}

TEST(FleetSimulation, FailedManifestFetchIsRetriedAtTheNextHourlyFiring) {
  // Every fetch fails: nothing is stored, the task is re-registered hourly
  // (never at the manifest's four hours), and every hourly firing asks again.
  PlanSettings settings = OneClientSettings(4, 1);
  settings.fetchFailurePercent = 100;
  Fleet fleet = NewClient(2 * 60 + 37);
  std::vector<int64_t> expected;
  for (int64_t hour = 0; hour < 24; ++hour) expected.push_back(At(0, hour, 37));
  EXPECT_EQ(expected, RequestSeconds(SimulateFleet(settings, fleet, nullptr)));
  EXPECT_EQ(0u, fleet.clients[0].lastUpdateCheck);
}

PlanSettings FleetSettings(uint32_t clients, Uptime uptime, uint64_t seed) {
  PlanSettings settings;
  settings.clients = clients;
  settings.checkFrequency = 2;
  settings.packageMiB[kActiveX] = settings.packageMiB[kPlugin] = 30;
  settings.days = 5;
  settings.releaseDay = 2;
  settings.uptime = uptime;
  settings.seed = seed;
  return settings;
}

PlanRecord RunFleet(const PlanSettings& settings) {
  Fleet fleet;
  EXPECT_TRUE(MakeFleet(settings, UptimeModel(settings.uptime, settings.seed),
                        SeededStartDraws(settings.seed), fleet));
  return SimulateFleet(settings, fleet, nullptr);
}

double MeanCheckIntervalHours(const PlanRecord& record) {
  double seconds = 0;
  uint64_t intervals = 0;
  for (std::size_t day = 0; day < record.checkIntervals.size(); ++day) {
    seconds += record.checkIntervalSeconds[day];
    intervals += record.checkIntervals[day];
  }
  return seconds / static_cast<double>(intervals) / kHour;
}

TEST(FleetSimulation, StartUpJitterUpToTheFetchTimeKeepsChecksTwentyFiveHoursApart) {
  // A check 24 hours after the last is due only when its request comes more
  // than the fetch's second later in the minute than the last one did.
  PlanSettings settings = FleetSettings(4000, Uptime::kAlways, 5);
  settings.releaseDay = settings.days;
  settings.startupJitterSeconds = 1;
  EXPECT_NEAR(25.0, MeanCheckIntervalHours(RunFleet(settings)), 0.001);
}

TEST(FleetSimulation, FleetWithStartUpJitterStartsInItsSteadyState) {
  // With jitters uniform up to J a share (J - 1)^2 / 2J^2 of the checks come
  // 24 hours after the one before, less for a run of them (a late request
  // makes the next 24-hour step less likely): about a third for 10 s. So the
  // last firing before the run holds fewer last checks than the others;
  // were the run to start with all 25 alike, the early hours of the
  // following days would carry a wave of up to a fifth more requests.
  PlanSettings settings = FleetSettings(50000, Uptime::kAlways, 13);
  settings.releaseDay = settings.days;
  settings.startupJitterSeconds = 10;
  PlanRecord record = RunFleet(settings);
  EXPECT_NEAR(24.65, MeanCheckIntervalHours(record), 0.1);
  for (int64_t day = 0; day < settings.days; ++day) {
    std::vector<double> hours(24, 0);
    for (int64_t second = day * kDay; second < (day + 1) * kDay; ++second) {
      hours[static_cast<std::size_t>(second % kDay / kHour)] += record.requests[second];
    }
    double mean = 0;
    for (double hour : hours) mean += hour / 24;
    for (std::size_t hour = 0; hour < hours.size(); ++hour) {
      EXPECT_NEAR(mean, hours[hour], 0.08 * mean) << "day " << day << " hour " << hour;
    }
  }
}

TEST(FleetSimulation, RequestsComeWithinTheWindowAndTheJitterAfterTheFiring) {
  // Window 3-4 s and up to 2 s of jitter: every request lies 3 to 5 s into
  // its minute, and each of those seconds is used.
  PlanSettings settings = FleetSettings(3000, Uptime::kAlways, 9);
  settings.requestWindowLow = 3;
  settings.requestWindowHigh = 4;
  settings.startupJitterSeconds = 2;
  PlanRecord record = RunFleet(settings);
  std::vector<uint64_t> bySecond(60, 0);
  for (int64_t second : RequestSeconds(record)) ++bySecond[static_cast<std::size_t>(second % 60)];
  for (std::size_t second = 0; second < bySecond.size(); ++second) {
    EXPECT_EQ(second >= 3 && second <= 5, bySecond[second] > 0) << "second " << second;
  }
}

TEST(FleetSimulation, AlwaysOnFleetStartsInItsSteadyState) {
  // Without jitter every check of the run had one before it, 24 hours and
  // one hourly firing earlier, and each day 24 of the 25 phases check.
  PlanSettings settings = FleetSettings(2000, Uptime::kAlways, 3);
  settings.startupJitterSeconds = 0;
  PlanRecord record = RunFleet(settings);
  EXPECT_EQ(24.0 + RepetitionIntervalMinutes(1) / 60.0, MeanCheckIntervalHours(record));
  for (int day = 0; day < settings.releaseDay; ++day) {
    EXPECT_EQ(settings.clients * 24 / 25, record.checkIntervals[day]) << "day " << day;
  }
}

TEST(FleetSimulation, SameSeedGivesTheSameFiguresAndAnotherSeedOthers) {
  PlanSettings settings = FleetSettings(3000, Uptime::kOffice, 7);
  settings.bothVariantsPercent = 30;
  settings.fetchFailurePercent = 5;
  PlanRecord first = RunFleet(settings);
  PlanRecord again = RunFleet(settings);
  EXPECT_EQ(first.requests, again.requests);
  EXPECT_EQ(first.packageBytes, again.packageBytes);
  EXPECT_EQ(first.downloads, again.downloads);
  EXPECT_EQ(first.failedDownloads, again.failedDownloads);
  EXPECT_EQ(first.newVersionStarts, again.newVersionStarts);
  EXPECT_EQ(first.checkIntervalSeconds, again.checkIntervalSeconds);
  settings.seed = 8;
  EXPECT_NE(first.requests, RunFleet(settings).requests);
}

TEST(SteadyJitter, SolvesTheJitterOfChecksInTheSteadyState) {
  // J = 2 s, fetch 1 s: F = (1 - p) x / 2 below 1 s and
  // (1 - p) (x + (x - 1)^2 / 4) / 2 above, F(2) = 1: p = 1/9, F(1) = 4/9,
  // F(1.5) = 25/36. Up to the fetch's second nothing comes after 24 hours.
  SteadyJitter jitter(2, 1);
  EXPECT_NEAR(1.0 / 9, jitter.TwentyFourHourShare(), 1e-6);
  EXPECT_NEAR(1.0, jitter.JitterFor(4.0 / 9), 1e-4);
  EXPECT_NEAR(1.5, jitter.JitterFor(25.0 / 36), 1e-4);
  EXPECT_NEAR(2.0, jitter.JitterFor(1 - 1e-12), 1e-4);
  SteadyJitter small(0.8, 1);
  EXPECT_EQ(0, small.TwentyFourHourShare());
  EXPECT_NEAR(0.2, small.JitterFor(0.25), 1e-9);
}

TEST(StartMinuteFromBoundary, ReadsOnlyTheStartBoundaryForm) {
  struct Case {
    const wchar_t* boundary;
    bool read;
    int minute;
  } cases[] = {
      {L"2000-01-01T02:37:00Z", true, 157}, {L"2000-01-01T00:00:00Z", true, 0},
      {L"2000-01-01T03:59:00Z", true, 239}, {L"2000-01-01T02:37:00", false, 0},
      {L"2000-01-02T02:37:00Z", false, 0},  {L"2000-01-01T2:37:00Z ", false, 0},
      {L"2000-01-01T24:00:00Z", false, 0},  {L"2000-01-01T02:37:30Z", false, 0},
  };
  for (const Case& c : cases) {
    int minute = -1;
    EXPECT_EQ(c.read, StartMinuteFromBoundary(c.boundary, minute)) << c.boundary;
    if (c.read) EXPECT_EQ(c.minute, minute) << c.boundary;
  }
}

}  // namespace
