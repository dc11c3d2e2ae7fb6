#include "plan/fleet_simulation.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "plan/client_fleet.h"
#include "plan/plan_time.h"
#include "plan/uptime.h"
#include "task/task_schedule.h"

namespace {

constexpr int64_t kHour = 3600;
constexpr int64_t kDay = kSecondsPerDay;
constexpr uint8_t kRequestDelay = 3;

// One client whose last firing before the run was at `lastFiring`.
Fleet OneClient(int startMinute, uint64_t lastCheck, int intervalMinutes, int32_t lastFiring) {
  Fleet fleet;
  fleet.clients.push_back(Client{lastCheck, static_cast<uint8_t>(startMinute), kRequestDelay,
                                 static_cast<uint8_t>(intervalMinutes), 0, false, false});
  fleet.lastFiring.push_back(lastFiring);
  return fleet;
}

// A client as "-createDefaultTask" leaves it: never checked, hourly task.
Fleet NewClient(int startMinute) { return OneClient(startMinute, 0, 60, -1); }

PlanSettings OneClientSettings(int32_t frequency, int days) {
  PlanSettings settings;
  settings.clients = 1;
  settings.checkFrequency = frequency;
  settings.packageMiB = 50;
  settings.days = days;
  settings.releaseDay = days;  // none within the run
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

int64_t At(int64_t day, int64_t hour, int64_t minute) {
  return day * kDay + hour * kHour + minute * 60 + kRequestDelay;
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

TEST(FleetSimulation, AttemptLimitStopsAClientAfterSevenFailedInstalls) {
  // Ten days hold ten checks, 25 hours apart. With every attempt failing, the
  // eighth check still fetches the manifest, finds 7 attempts and switches to
  // notify mode; nothing follows. A successful install is the only one.
  struct Case {
    double failurePercent;
    std::size_t requests;
    uint64_t downloads;
    uint32_t notify;
  } cases[] = {{100, 8, 7, 1}, {0, 10, 1, 0}};
  for (const Case& c : cases) {
    PlanSettings settings = OneClientSettings(1, 10);
    settings.releaseDay = 0;
    settings.failurePercent = c.failurePercent;
    Fleet fleet = NewClient(2 * 60 + 37);
    PlanRecord record = SimulateFleet(settings, fleet, nullptr);
    EXPECT_EQ(c.requests, RequestSeconds(record).size()) << c.failurePercent;
    EXPECT_EQ(c.downloads, Downloads(record)) << c.failurePercent;
    EXPECT_EQ(c.notify, record.notifyClients) << c.failurePercent;
  }
}

PlanSettings FleetSettings(uint32_t clients, Uptime uptime, uint64_t seed) {
  PlanSettings settings;
  settings.clients = clients;
  settings.checkFrequency = 2;
  settings.packageMiB = 30;
  settings.days = 5;
  settings.releaseDay = 2;
  settings.uptime = uptime;
  settings.seed = seed;
  return settings;
}

PlanRecord RunFleet(const PlanSettings& settings) {
  Fleet fleet;
  EXPECT_TRUE(MakeFleet(settings, UptimeModel(settings.uptime, settings.seed), fleet));
  return SimulateFleet(settings, fleet, nullptr);
}

TEST(FleetSimulation, AlwaysOnFleetChecksOnceEveryDayAndAnHourlyFiring) {
  PlanSettings settings = FleetSettings(2000, Uptime::kAlways, 3);
  PlanRecord record = RunFleet(settings);
  double seconds = 0;
  uint64_t intervals = 0;
  for (int day = 0; day < settings.days; ++day) {
    seconds += record.checkIntervalSeconds[day];
    intervals += record.checkIntervals[day];
  }
  // Every check of the run had one before it, 24 hours and one hourly
  // firing earlier.
  EXPECT_EQ(RequestSeconds(record).size(), intervals);
  double expectedHours = 24.0 + RepetitionIntervalMinutes(1) / 60.0;
  EXPECT_NEAR(expectedHours, seconds / intervals / kHour, 1e-9);
  // Steady from the start: 24/25 of the fleet each day.
  EXPECT_NEAR(settings.clients * settings.days * 24.0 / 25.0, static_cast<double>(intervals),
              0.02 * settings.clients * settings.days);
}

TEST(FleetSimulation, SameSeedGivesTheSameFiguresAndAnotherSeedOthers) {
  PlanSettings settings = FleetSettings(3000, Uptime::kOffice, 7);
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
