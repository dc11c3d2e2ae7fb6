#include "plan/fleet_simulation.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "plan/plan_time.h"
#include "plan/seeded_draw.h"
#include "plan/uptime.h"
#include "task/task_schedule.h"
#include "update/update_check_interval.h"

namespace {

constexpr uint8_t kMaxUpdateAttempts = 7;
constexpr double kBytesPerMiB = 1048576.0;
constexpr std::size_t kPrefetchDistance = 8;

int64_t CeilDiv(int64_t value, int64_t divisor) { return -FloorDiv(-value, divisor); }

class FleetSimulation {
 public:
  FleetSimulation(const PlanSettings& settings, Fleet& fleet);
  PlanRecord Run(PlanProgress progress);

 private:
  // Runs the cycle of a firing; returns the next minute worth visiting.
  int64_t RunCycle(uint32_t id, int64_t minute);
  // The client's next firing after `after` that can change its state: the
  // next firing while the task runs at the manifest's interval, else the
  // first firing at which a check is due. endMinute_ when none is in the run.
  int64_t NextVisit(uint32_t id, int64_t after) const;
  int64_t FirstDueFiring(uint32_t id, int64_t from) const;
  // The first second at or after `from` at which the service finds a check
  // due after lastCheck; past the run when none is within it.
  int64_t FirstDueSecond(uint64_t lastCheck, int64_t from) const;
  void CountCheck(uint64_t previous, uint64_t stored, int64_t second);
  // One install attempt whose download starts at `second`; true when the
  // installer started.
  bool AttemptInstall(uint32_t id, Client& client, int64_t second);

  const PlanSettings& settings_;
  Fleet& fleet_;
  UptimeModel uptime_;
  int64_t endMinute_;
  int64_t endSecond_;
  int64_t releaseSecond_;
  uint8_t manifestInterval_;
  uint8_t hourlyInterval_;
  int64_t downloadSeconds_;
  double downloadRate_;
  double failureShare_;
  // Downloads running, as changes per second: every download runs at the same rate.
  std::vector<int32_t> runningChanges_;
  PlanRecord record_;
};

FleetSimulation::FleetSimulation(const PlanSettings& settings, Fleet& fleet)
    : settings_(settings),
      fleet_(fleet),
      uptime_(settings.uptime, settings.seed),
      endMinute_(settings.days * kMinutesPerDay),
      endSecond_(settings.days * kSecondsPerDay),
      releaseSecond_(settings.releaseDay * kSecondsPerDay),
      manifestInterval_(static_cast<uint8_t>(RepetitionIntervalMinutes(settings.checkFrequency))),
      hourlyInterval_(static_cast<uint8_t>(RepetitionIntervalMinutes(kFrequencyWithoutManifest))),
      failureShare_(settings.failurePercent / 100.0) {
  downloadSeconds_ = DownloadSeconds(settings);
  downloadRate_ = settings.packageMiB * kBytesPerMiB / static_cast<double>(downloadSeconds_);
  runningChanges_.assign(static_cast<std::size_t>(endSecond_) + 1, 0);
  record_.requests.assign(static_cast<std::size_t>(endSecond_), 0);
  record_.downloads.assign(static_cast<std::size_t>(endMinute_), 0);
  record_.failedDownloads.assign(static_cast<std::size_t>(endMinute_), 0);
  record_.newVersionStarts.assign(static_cast<std::size_t>(endMinute_), 0);
  record_.checkIntervalSeconds.assign(static_cast<std::size_t>(settings.days), 0.0);
  record_.checkIntervals.assign(static_cast<std::size_t>(settings.days), 0);
}

int64_t FleetSimulation::FirstDueSecond(uint64_t lastCheck, int64_t from) const {
  auto due = [lastCheck](int64_t second) {
    return IsUpdateCheckDueAt(lastCheck, FileTimeAt(second));
  };
  // A firing in the run's last minute asks the due test at most a few seconds
  // after the end.
  int64_t limit = endSecond_ + kSecondsPerMinute;
  if (due(from)) return from;
  if (!due(limit)) return limit;
  // Guess the first whole second past lastCheck + 24 hours and keep it only
  // when the service's test confirms that it is the first due second.
  int64_t sinceStart = static_cast<int64_t>(lastCheck - kRunStartFileTime);
  if (sinceStart <
      std::numeric_limits<int64_t>::max() - static_cast<int64_t>(kUpdateCheckInterval)) {
    int64_t guess =
        FloorDiv(sinceStart + static_cast<int64_t>(kUpdateCheckInterval), kFileTimePerSecond) + 1;
    if (guess > from && guess <= limit && due(guess) && !due(guess - 1)) return guess;
  }
  // Otherwise search: the test is monotonic in time for a fixed last check.
  int64_t notDue = from, isDue = limit;
  while (isDue - notDue > 1) {
    int64_t middle = notDue + (isDue - notDue) / 2;
    (due(middle) ? isDue : notDue) = middle;
  }
  return isDue;
}

int64_t FleetSimulation::FirstDueFiring(uint32_t id, int64_t from) const {
  const Client& client = fleet_.clients[id];
  int64_t dueSecond =
      FirstDueSecond(client.lastUpdateCheck, from * kSecondsPerMinute + client.requestDelay);
  if (dueSecond >= endSecond_ + kSecondsPerMinute) return endMinute_;
  int64_t minute = std::max(from, CeilDiv(dueSecond - client.requestDelay, kSecondsPerMinute));
  return uptime_.NextFiring(id, client.startMinute, client.intervalMinutes, minute, endMinute_);
}

int64_t FleetSimulation::NextVisit(uint32_t id, int64_t after) const {
  const Client& client = fleet_.clients[id];
  if (client.notifyMode) return endMinute_;
  // At the hourly interval a cycle that is not due re-registers the same
  // interval, so only the first due firing matters.
  if (client.intervalMinutes == hourlyInterval_) return FirstDueFiring(id, after + 1);
  return uptime_.NextFiring(id, client.startMinute, client.intervalMinutes, after + 1, endMinute_);
}

void FleetSimulation::CountCheck(uint64_t previous, uint64_t stored, int64_t second) {
  if (second < 0 || second >= endSecond_) return;
  ++record_.requests[static_cast<std::size_t>(second)];
  if (previous == 0 || stored <= previous) return;
  std::size_t day = static_cast<std::size_t>(second / kSecondsPerDay);
  record_.checkIntervalSeconds[day] +=
      static_cast<double>(stored - previous) / static_cast<double>(kFileTimePerSecond);
  ++record_.checkIntervals[day];
}

bool FleetSimulation::AttemptInstall(uint32_t id, Client& client, int64_t second) {
  ++client.updateAttempts;
  bool fails =
      DrawUnit(settings_.seed, id, DrawPurpose::kFailure, client.updateAttempts) < failureShare_;
  int64_t done = second + downloadSeconds_;
  if (second < endSecond_) {
    std::size_t minute = static_cast<std::size_t>(second / kSecondsPerMinute);
    ++record_.downloads[minute];
    if (fails) ++record_.failedDownloads[minute];
    ++runningChanges_[static_cast<std::size_t>(second)];
    --runningChanges_[static_cast<std::size_t>(std::min(done, endSecond_))];
  }
  if (fails) return false;
  client.newVersion = true;
  if (done < endSecond_)
    ++record_.newVersionStarts[static_cast<std::size_t>(done / kSecondsPerMinute)];
  return true;
}

int64_t FleetSimulation::RunCycle(uint32_t id, int64_t minute) {
  Client& client = fleet_.clients[id];
  int64_t second = minute * kSecondsPerMinute + client.requestDelay;
  if (!IsUpdateCheckDueAt(client.lastUpdateCheck, FileTimeAt(second))) {
    client.intervalMinutes = hourlyInterval_;
    return NextVisit(id, minute);
  }
  uint64_t previous = client.lastUpdateCheck;
  client.lastUpdateCheck = FileTimeAt(second + kFetchSeconds);
  CountCheck(previous, client.lastUpdateCheck, second);
  if (client.updateAttempts >= kMaxUpdateAttempts) {
    // Event 1301: notify mode, and the policy gate stops every later cycle.
    client.notifyMode = true;
    ++record_.notifyClients;
    return endMinute_;
  }
  bool installerStarted = false;
  if (!client.newVersion && second >= releaseSecond_) {
    installerStarted = AttemptInstall(id, client, second + kFetchSeconds);
  }
  // A cycle that starts an installer leaves the task as it is.
  if (!installerStarted) client.intervalMinutes = manifestInterval_;
  return NextVisit(id, minute);
}

PlanRecord FleetSimulation::Run(PlanProgress progress) {
  std::vector<Client>& clients = fleet_.clients;
  int64_t firstMinute = 0;
  for (int32_t firing : fleet_.lastFiring) firstMinute = std::min<int64_t>(firstMinute, firing + 1);
  // One bucket of client numbers per minute: every firing falls on a whole
  // minute, and each client waits in exactly one bucket.
  std::vector<std::vector<uint32_t>> buckets(static_cast<std::size_t>(endMinute_ - firstMinute));
  for (uint32_t id = 0; id < clients.size(); ++id) {
    int64_t next = NextVisit(id, fleet_.lastFiring[id]);
    if (next < endMinute_) buckets[static_cast<std::size_t>(next - firstMinute)].push_back(id);
  }
  std::vector<int32_t>().swap(fleet_.lastFiring);
  for (int64_t minute = firstMinute; minute < endMinute_; ++minute) {
    if (progress != nullptr && minute >= 0 && minute % kMinutesPerDay == 0) {
      progress(static_cast<int>(minute / kMinutesPerDay), settings_.days);
    }
    std::vector<uint32_t> firing;
    firing.swap(buckets[static_cast<std::size_t>(minute - firstMinute)]);
    for (std::size_t index = 0; index < firing.size(); ++index) {
      // The clients of a minute lie scattered over the state array.
      if (index + kPrefetchDistance < firing.size()) {
        __builtin_prefetch(&clients[firing[index + kPrefetchDistance]], 1);
      }
      int64_t next = RunCycle(firing[index], minute);
      if (next < endMinute_) {
        buckets[static_cast<std::size_t>(next - firstMinute)].push_back(firing[index]);
      }
    }
  }
  record_.packageBytes.resize(static_cast<std::size_t>(endSecond_));
  int64_t running = 0;
  for (std::size_t second = 0; second < record_.packageBytes.size(); ++second) {
    running += runningChanges_[second];
    record_.packageBytes[second] = static_cast<double>(running) * downloadRate_;
  }
  return std::move(record_);
}

}  // namespace

int64_t DownloadSeconds(const PlanSettings& settings) {
  double seconds = settings.packageMiB * kBytesPerMiB * 8.0 / (settings.clientMbps * 1e6);
  return std::max<int64_t>(1, static_cast<int64_t>(std::ceil(seconds)));
}

PlanRecord SimulateFleet(const PlanSettings& settings, Fleet& fleet, PlanProgress progress) {
  FleetSimulation simulation(settings, fleet);
  return simulation.Run(progress);
}
