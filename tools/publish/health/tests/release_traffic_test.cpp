#include "health/release_traffic.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "health/health_gate.h"

namespace {

// 2026-12-10 10:00 UTC: the candidate is first served.
constexpr int64_t kStart = 1796896800;
constexpr int64_t kDay = 86400;
constexpr uint64_t kPackageBytes = 5000000;

// Machines behind one address, each on on a given day with onChance; on
// such a day it checks once, at its own time of day.
struct Site {
  std::string address;
  int machines = 1;
  double onChance = 1;
  Cohort cohort = Cohort::kCandidate;
};

struct Request {
  int64_t time;
  std::string key;
  Cohort cohort;
  bool package;
};

// The requests of the sites over days from kStart: a machine that lacks the
// announced version downloads after its fetch; it has it from then on only
// when its cohort's release takes.
std::vector<Request> Generate(const std::vector<Site>& sites, int days, bool candidateTakes,
                              bool controlTakes = true, unsigned seed = 7) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int64_t> timeOfDay(0, kDay - 3600);
  std::uniform_real_distribution<double> chance(0, 1);
  std::vector<Request> requests;
  for (const Site& site : sites) {
    bool takes = site.cohort == Cohort::kCandidate ? candidateTakes : controlTakes;
    // The control cohort was served its release long before.
    std::vector<bool> current(site.machines, site.cohort == Cohort::kControl && controlTakes);
    std::vector<int64_t> offset(site.machines);
    for (int64_t& value : offset) value = timeOfDay(random);
    for (int day = 0; day < days; ++day) {
      for (int machine = 0; machine < site.machines; ++machine) {
        if (chance(random) >= site.onChance) continue;
        int64_t at = kStart + day * kDay + offset[machine];
        requests.push_back({at, site.address, site.cohort, false});
        if (current[machine]) continue;
        requests.push_back({at + 40, site.address, site.cohort, true});
        current[machine] = takes;
      }
    }
  }
  std::stable_sort(requests.begin(), requests.end(),
                   [](const Request& a, const Request& b) { return a.time < b.time; });
  return requests;
}

std::unique_ptr<ReleaseTrafficTally> Tally(const std::vector<Request>& requests) {
  ServedPackageSizes sizes;
  for (auto& row : sizes.bytes) std::fill(std::begin(row), std::end(row), kPackageBytes);
  auto tally = std::make_unique<ReleaseTrafficTally>(kStart + kDay, sizes);
  for (const Request& request : requests) {
    if (request.package) {
      tally->AddPackageDownload(request.key, request.cohort, request.time, 0, kPackageBytes);
    } else {
      tally->AddManifestFetch(request.key, request.cohort, request.time);
    }
  }
  tally->Finish();
  return tally;
}

std::vector<Site> Homes(int count, Cohort cohort, const std::string& prefix, double onChance = 1) {
  std::vector<Site> sites;
  for (int index = 0; index < count; ++index) {
    sites.push_back({prefix + std::to_string(index / 250) + "." + std::to_string(index % 250), 1,
                     onChance, cohort});
  }
  return sites;
}

std::vector<Site> Fleet(int candidateHomes, int controlHomes) {
  std::vector<Site> sites = Homes(candidateHomes, Cohort::kCandidate, "10.1.");
  std::vector<Site> control = Homes(controlHomes, Cohort::kControl, "10.2.");
  sites.insert(sites.end(), control.begin(), control.end());
  return sites;
}

HealthVerdict Judge(std::unique_ptr<ReleaseTrafficTally> tally, uint64_t minClients = 100) {
  HealthGateOptions options;
  options.minClients = minClients;
  HealthReport report;
  report.tally = std::move(tally);
  JudgeSignal(options, true, report);
  return report.verdict;
}

TEST(ReleaseTraffic, JudgesTheCandidatesRepeatsAgainstTheControls) {
  // Homes of one machine each, 700 in the control cohort.
  struct Case {
    const char* name;
    int candidateHomes;
    int days;
    bool candidateTakes;
    bool controlTakes;
    uint64_t minClients;
    HealthVerdict verdict;
  } cases[] = {
      {"a release that takes", 300, 4, true, true, 100, HealthVerdict::kPass},
      {"a release that does not take", 300, 4, false, true, 100, HealthVerdict::kFail},
      {"both releases fail the same machines", 300, 4, false, false, 100, HealthVerdict::kPass},
      {"too few addresses", 40, 4, false, true, 100, HealthVerdict::kTooEarly},
      {"as many addresses as asked for", 40, 4, false, true, 40, HealthVerdict::kFail},
      {"before a full day with the candidate", 300, 1, false, true, 100, HealthVerdict::kTooEarly},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto tally = Tally(Generate(Fleet(c.candidateHomes, 700), c.days, c.candidateTakes,
                                c.controlTakes));
    const SignalFigures& candidate = tally->Signal(Cohort::kCandidate);
    // Every check a full day after the start and later counts.
    EXPECT_EQ(c.days > 1 ? c.candidateHomes : 0, candidate.addresses);
    EXPECT_EQ(uint64_t(c.candidateHomes * (c.days - 1)), candidate.fetches);
    // A release that does not take is downloaded again at every check.
    EXPECT_EQ(c.candidateTakes ? 0 : candidate.fetches, candidate.repeats);
    EXPECT_EQ(c.controlTakes, tally->Signal(Cohort::kControl).repeats == 0);
    EXPECT_EQ(c.verdict, Judge(std::move(tally), c.minClients));
  }
  // Day by day, a release that takes: the first day's checks download,
  // later ones do not.
  auto tally = Tally(Generate(Fleet(300, 700), 4, true));
  const DayFigures& first = tally->Days().at({DayOf(kStart), Cohort::kCandidate});
  const DayFigures& second = tally->Days().at({DayOf(kStart) + 1, Cohort::kCandidate});
  EXPECT_EQ(first.fetches, first.followed);
  EXPECT_EQ(first.begun, first.completed);
  EXPECT_GT(second.signalFetches, 0u);
  EXPECT_EQ(0u, second.repeats);
}

TEST(ReleaseTraffic, AnOfficeBehindOneAddressDownloadingOncePerMachineIsHealthy) {
  // 150 machines behind one NAT, each on six days in ten, so their first
  // downloads spread over the days, beside a few hundred homes that are
  // often off.
  std::vector<Site> sites = Homes(200, Cohort::kCandidate, "10.1.", 0.6);
  sites.push_back({"192.0.2.1", 150, 0.6, Cohort::kCandidate});
  auto tally = Tally(Generate(sites, 6, true));
  const SignalFigures& candidate = tally->Signal(Cohort::kCandidate);
  EXPECT_EQ(0u, candidate.repeats);
  // Downloads after the first full day are many: they are first ones.
  uint64_t laterFollowed = 0;
  for (const auto& [when, figures] : tally->Days()) {
    if (when.first > DayOf(kStart) + 1) laterFollowed += figures.followed;
  }
  EXPECT_GT(laterFollowed, 40u);
  EXPECT_EQ(HealthVerdict::kPass, Judge(std::move(tally)));

  // The same office with a release that does not take.
  auto bad = Tally(Generate(sites, 6, false));
  EXPECT_GT(bad->Signal(Cohort::kCandidate).RepeatPercent(), 50);
  EXPECT_EQ(HealthVerdict::kFail, Judge(std::move(bad)));
}

TEST(ReleaseTraffic, AnOfficeWhoseMachinesAllStartLateStillShowsRepeats) {
  // On the first day half the office is on, later all of it: the machines
  // seen grow, yet a release that does not take repeats beyond them.
  std::vector<Site> sites = {{"192.0.2.9", 80, 1, Cohort::kCandidate}};
  auto requests = Generate(sites, 4, false);
  requests.erase(std::remove_if(requests.begin(), requests.end(),
                                [](const Request& request) {
                                  return request.time < kStart + kDay &&
                                         (request.time - kStart) % 2 == 1;
                                }),
                 requests.end());
  auto tally = Tally(requests);
  EXPECT_GT(tally->Signal(Cohort::kCandidate).RepeatPercent(), 60);
}

TEST(ReleaseTraffic, CountsCompletedDownloadsByTheServedPackagesSize) {
  ServedPackageSizes sizes;
  sizes.bytes[static_cast<int>(Cohort::kCandidate)][2] = 900;
  sizes.bytes[static_cast<int>(Cohort::kControl)][2] = 700;
  ReleaseTrafficTally tally(kStart + kDay, sizes);
  for (uint64_t sent : {900, 700, 899, 0}) {
    tally.AddPackageDownload("10.0.0.1", Cohort::kCandidate, kStart, 2, sent);
  }
  tally.AddPackageDownload("10.0.0.2", Cohort::kControl, kStart, 2, 700);
  tally.AddPackageDownload("10.0.0.2", Cohort::kControl, kStart, 1, 700);
  tally.Finish();
  const DayFigures& candidate = tally.Days().at({DayOf(kStart), Cohort::kCandidate});
  EXPECT_EQ(4u, candidate.begun);
  EXPECT_EQ(1u, candidate.completed);
  const DayFigures& control = tally.Days().at({DayOf(kStart), Cohort::kControl});
  EXPECT_EQ(2u, control.begun);
  EXPECT_EQ(1u, control.completed);
  EXPECT_EQ(0u, candidate.fetches);
}

TEST(ReleaseTraffic, ADownloadFollowsOnlyARecentFetchOfTheSameCohort) {
  ServedPackageSizes sizes;
  ReleaseTrafficTally tally(kStart + kDay, sizes);
  tally.AddManifestFetch("10.0.0.1", Cohort::kCandidate, kStart);
  tally.AddPackageDownload("10.0.0.1", Cohort::kCandidate, kStart + 3600, 0, 1);  // follows
  tally.AddPackageDownload("10.0.0.1", Cohort::kCandidate, kStart + 3700, 0, 1);  // no fetch left
  tally.AddManifestFetch("10.0.0.2", Cohort::kCandidate, kStart);
  tally.AddPackageDownload("10.0.0.2", Cohort::kCandidate, kStart + 4 * 3600, 0, 1);  // too late
  tally.AddManifestFetch("10.0.0.3", Cohort::kCandidate, kStart);
  tally.AddPackageDownload("10.0.0.3", Cohort::kControl, kStart + 60, 0, 1);  // another cohort
  tally.AddPackageDownload("10.0.0.4", Cohort::kCandidate, kStart + 60, 0, 1);  // never fetched
  tally.Finish();
  const DayFigures& day = tally.Days().at({DayOf(kStart), Cohort::kCandidate});
  EXPECT_EQ(3u, day.addresses);
  EXPECT_EQ(3u, day.fetches);
  EXPECT_EQ(1u, day.followed);
  EXPECT_EQ(4u, day.begun);
}

TEST(ReleaseTraffic, NamesDaysByTheirUtcDate) {
  EXPECT_EQ("2026-12-10", DayText(DayOf(kStart)));
  EXPECT_EQ("1970-01-01", DayText(DayOf(0)));
  EXPECT_EQ("2028-02-29", DayText(DayOf(1835438400)));
}

}  // namespace
