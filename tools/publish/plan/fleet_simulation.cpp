#include "plan/fleet_simulation.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "plan/package_traffic.h"
#include "plan/plan_time.h"
#include "plan/rollout_schedule.h"
#include "plan/seeded_draw.h"
#include "plan/uptime.h"
#include "task/task_schedule.h"
#include "update/update_check_interval.h"

namespace {

// The service's attempt limit. The cycle that applies it is Win32 code,
// which a native tool cannot link, so the number is restated here.
constexpr uint8_t kMaxUpdateAttempts = 7;
constexpr double kBytesPerMiB = 1048576.0;
constexpr int64_t kTicksPerDay = kSecondsPerDay * kTicksPerSecond;
constexpr int64_t kFetchTicks = kFetchSeconds * kTicksPerSecond;
constexpr std::size_t kPrefetchDistance = 8;
constexpr int kNoVariant = -1;

int64_t CeilDiv(int64_t value, int64_t divisor) { return -FloorDiv(-value, divisor); }

// The variant a due cycle installs: the first one that is installed and not
// yet new, ActiveX before the browser plug-in.
int FirstOutdatedVariant(const Client& client) {
  for (int variant = kActiveX; variant < kVariantCount; ++variant) {
    if ((client.flags & VariantFlag(kHasVariant, variant)) != 0 &&
        (client.flags & VariantFlag(kNewVersion, variant)) == 0) {
      return variant;
    }
  }
  return kNoVariant;
}

class FleetSimulation {
 public:
  FleetSimulation(const PlanSettings& settings, Fleet& fleet);
  PlanRecord Run(PlanProgress progress);

 private:
  // What an install attempt did, and the first minute after its download.
  struct Attempt {
    bool installerStarted;
    int64_t nextMinute;
  };

  // Runs the cycle of a firing at which the client's check is due (the only
  // firings NextVisit brings it to); returns the next minute worth visiting.
  int64_t RunCycle(uint32_t id, int64_t minute);
  int64_t RunFetchedCycle(uint32_t id, Client& client, int64_t minute, int64_t request);
  // The client's first firing at or after `from` at which a check is due
  // (or, while the task runs at the manifest's interval, the next firing if
  // it is due); endMinute_ when none is in the run. A firing at the
  // manifest's interval that is not due only re-registers the hourly task,
  // which is done here at once.
  int64_t NextVisit(uint32_t id, int64_t from);
  int64_t FirstDueFiring(uint32_t id, int64_t from) const;
  bool IsDueAtFiring(uint32_t id, const Client& client, int64_t minute) const;
  // The first tick at or after `from` at which the service finds a check due
  // after lastCheck; limitTicks_ when none is before it.
  int64_t FirstDueTick(uint64_t lastCheck, int64_t from) const;
  bool FetchFails(uint32_t id, int64_t minute) const;
  Attempt AttemptInstall(uint32_t id, Client& client, int variant, int64_t minute, int64_t request);
  // The installer took: the variant is new, and "-createDefaultTask" resets
  // the client when the settings say so.
  void TakeInstall(Client& client, int variant, double end);
  void CountRequest(int64_t request);
  void CountCheck(uint64_t previous, uint64_t stored, int64_t request);
  void CountAttempt(const Client& client, int64_t minute, int64_t request);
  void CountDownload(Client& client, int variant, double start, bool fails, int64_t request);
  // The minute of the run into which a second falls; -1 outside the run.
  int64_t MinuteInRun(double second) const;
  ReleaseDay* ReleaseDayOf(int64_t ticks);
  // At midnight: halts the rollout when the day before's signal passed the gate.
  void ApplyGate(int64_t day, int64_t minute);

  const PlanSettings& settings_;
  Fleet& fleet_;
  UptimeModel uptime_;
  RolloutSchedule rollout_;
  int64_t endMinute_;
  int64_t endSecond_;
  int64_t limitTicks_;
  int64_t maxJitterTicks_;
  uint8_t manifestInterval_;
  uint8_t hourlyInterval_;
  double downloadSeconds_[kVariantCount];
  double failureShare_;
  double fetchFailureShare_;
  PackageTraffic traffic_;
  PlanRecord record_;
};

FleetSimulation::FleetSimulation(const PlanSettings& settings, Fleet& fleet)
    : settings_(settings),
      fleet_(fleet),
      uptime_(settings.uptime, settings.seed),
      rollout_(settings),
      endMinute_(settings.days * kMinutesPerDay),
      endSecond_(settings.days * kSecondsPerDay),
      maxJitterTicks_(MaxJitterTicks(settings)),
      manifestInterval_(static_cast<uint8_t>(RepetitionIntervalMinutes(settings.checkFrequency))),
      hourlyInterval_(static_cast<uint8_t>(RepetitionIntervalMinutes(kFrequencyWithoutManifest))),
      failureShare_(settings.failurePercent / 100.0),
      fetchFailureShare_(settings.fetchFailurePercent / 100.0),
      traffic_(endSecond_) {
  // A request of the run's last firing comes at most this late.
  limitTicks_ = (endMinute_ + 1) * kTicksPerMinute + settings.requestWindowHigh * kTicksPerSecond +
                maxJitterTicks_;
  for (int variant = kActiveX; variant < kVariantCount; ++variant) {
    downloadSeconds_[variant] = DownloadSeconds(settings.packageMiB[variant], settings);
  }
  record_.newVersionStarts.assign(static_cast<std::size_t>(endMinute_), 0);
  record_.requests.assign(static_cast<std::size_t>(endSecond_), 0);
  record_.downloads.assign(static_cast<std::size_t>(endMinute_), 0);
  record_.failedDownloads.assign(static_cast<std::size_t>(endMinute_), 0);
  record_.attemptLimitChanges.assign(static_cast<std::size_t>(endMinute_), 0);
  record_.checkIntervalSeconds.assign(static_cast<std::size_t>(settings.days), 0.0);
  record_.checkIntervals.assign(static_cast<std::size_t>(settings.days), 0);
  record_.releaseDays.assign(static_cast<std::size_t>(settings.days), ReleaseDay{});
}

int64_t FleetSimulation::FirstDueTick(uint64_t lastCheck, int64_t from) const {
  auto due = [lastCheck](int64_t ticks) {
    return IsUpdateCheckDueAt(lastCheck, FileTimeAtTicks(ticks));
  };
  if (due(from)) return from;
  if (!due(limitTicks_)) return limitTicks_;
  // Guess the first tick past lastCheck + 24 hours and keep it only when the
  // service's test confirms that it is the first due tick.
  int64_t sinceStart = static_cast<int64_t>(lastCheck - kRunStartFileTime);
  if (sinceStart <
      std::numeric_limits<int64_t>::max() - static_cast<int64_t>(kUpdateCheckInterval)) {
    int64_t guess = sinceStart + static_cast<int64_t>(kUpdateCheckInterval) + 1;
    if (guess > from && guess <= limitTicks_ && due(guess) && !due(guess - 1)) return guess;
  }
  // Otherwise search: the test is monotonic in time for a fixed last check.
  int64_t notDue = from, isDue = limitTicks_;
  while (isDue - notDue > 1) {
    int64_t middle = notDue + (isDue - notDue) / 2;
    (due(middle) ? isDue : notDue) = middle;
  }
  return isDue;
}

bool FleetSimulation::IsDueAtFiring(uint32_t id, const Client& client, int64_t minute) const {
  return IsUpdateCheckDueAt(client.lastUpdateCheck,
                            FileTimeAtTicks(RequestTicks(settings_, id, client, minute)));
}

int64_t FleetSimulation::FirstDueFiring(uint32_t id, int64_t from) const {
  const Client& client = fleet_.clients[id];
  int64_t delay = client.requestDelay * kTicksPerSecond;
  int64_t dueTick = FirstDueTick(client.lastUpdateCheck, from * kTicksPerMinute + delay);
  if (dueTick >= limitTicks_) return endMinute_;
  // From the first firing whose request, with the most jitter, can be due,
  // to the first whose request is.
  int64_t minute = std::max(from, CeilDiv(dueTick - delay - maxJitterTicks_, kTicksPerMinute));
  for (;;) {
    minute = uptime_.NextFiring(id, client.startMinute, client.intervalMinutes, minute, endMinute_);
    if (minute >= endMinute_ || IsDueAtFiring(id, client, minute)) return minute;
    ++minute;
  }
}

int64_t FleetSimulation::NextVisit(uint32_t id, int64_t from) {
  Client& client = fleet_.clients[id];
  if ((client.flags & kNotifyMode) != 0) return endMinute_;
  if (client.intervalMinutes != hourlyInterval_) {
    int64_t firing =
        uptime_.NextFiring(id, client.startMinute, client.intervalMinutes, from, endMinute_);
    if (firing >= endMinute_ || IsDueAtFiring(id, client, firing)) return firing;
    client.intervalMinutes = hourlyInterval_;
    from = firing + 1;
  }
  // At the hourly interval a cycle that is not due re-registers the same
  // interval, so only firings at which a check is due matter.
  return FirstDueFiring(id, from);
}

bool FleetSimulation::FetchFails(uint32_t id, int64_t minute) const {
  return fetchFailureShare_ > 0 && DrawUnit(settings_.seed, id, DrawPurpose::kFetchFailure,
                                            static_cast<uint32_t>(minute)) < fetchFailureShare_;
}

ReleaseDay* FleetSimulation::ReleaseDayOf(int64_t ticks) {
  int64_t day = FloorDiv(ticks, kTicksPerDay);
  if (day < 0 || day >= settings_.days) return nullptr;
  return &record_.releaseDays[static_cast<std::size_t>(day)];
}

void FleetSimulation::CountRequest(int64_t request) {
  int64_t second = FloorDiv(request, kTicksPerSecond);
  if (second >= 0 && second < endSecond_) ++record_.requests[static_cast<std::size_t>(second)];
}

void FleetSimulation::CountCheck(uint64_t previous, uint64_t stored, int64_t request) {
  int64_t day = FloorDiv(request, kTicksPerDay);
  if (day < 0 || day >= settings_.days || previous == 0 || stored <= previous) return;
  record_.checkIntervalSeconds[static_cast<std::size_t>(day)] +=
      static_cast<double>(stored - previous) / static_cast<double>(kFileTimePerSecond);
  ++record_.checkIntervals[static_cast<std::size_t>(day)];
}

int64_t FleetSimulation::MinuteInRun(double second) const {
  int64_t minute = static_cast<int64_t>(std::floor(second / kSecondsPerMinute));
  return minute >= 0 && minute < endMinute_ ? minute : -1;
}

void FleetSimulation::CountAttempt(const Client& client, int64_t minute, int64_t request) {
  if (client.updateAttempts == kMaxUpdateAttempts && minute >= 0 && minute < endMinute_) {
    ++record_.attemptLimitChanges[static_cast<std::size_t>(minute)];
  }
  if (ReleaseDay* day = ReleaseDayOf(request)) {
    day->mostAttempts = std::max<uint32_t>(day->mostAttempts, client.updateAttempts);
  }
}

void FleetSimulation::CountDownload(Client& client, int variant, double start, bool fails,
                                    int64_t request) {
  uint8_t downloaded = VariantFlag(kDownloaded, variant);
  if ((client.flags & downloaded) != 0) {
    if (ReleaseDay* day = ReleaseDayOf(request)) ++day->repeatDownloads;
  }
  client.flags |= downloaded;
  traffic_.Add(start, downloadSeconds_[variant]);
  int64_t minute = MinuteInRun(start);
  if (minute < 0) return;
  ++record_.downloads[static_cast<std::size_t>(minute)];
  if (fails) ++record_.failedDownloads[static_cast<std::size_t>(minute)];
}

void FleetSimulation::TakeInstall(Client& client, int variant, double end) {
  client.flags |= VariantFlag(kNewVersion, variant);
  int64_t minute = MinuteInRun(end);
  if (FirstOutdatedVariant(client) == kNoVariant && minute >= 0) {
    ++record_.newVersionStarts[static_cast<std::size_t>(minute)];
  }
  if (!settings_.installerResets) return;
  if (client.updateAttempts >= kMaxUpdateAttempts && minute >= 0) {
    --record_.attemptLimitChanges[static_cast<std::size_t>(minute)];
  }
  client.updateAttempts = 0;
  client.lastUpdateCheck = 0;
  client.intervalMinutes = hourlyInterval_;
}

FleetSimulation::Attempt FleetSimulation::AttemptInstall(uint32_t id, Client& client, int variant,
                                                         int64_t minute, int64_t request) {
  ++client.updateAttempts;
  CountAttempt(client, minute, request);
  bool fails = DrawUnit(settings_.seed, id, DrawPurpose::kFailure, static_cast<uint32_t>(minute)) <
               failureShare_;
  double start = static_cast<double>(request + kFetchTicks) / kTicksPerSecond;
  double end = start + downloadSeconds_[variant];
  CountDownload(client, variant, start, fails, request);
  // The service runs until the download ends: a firing before that starts
  // no cycle, and the installer's reset comes after it.
  int64_t nextMinute = static_cast<int64_t>(std::ceil(end / kSecondsPerMinute));
  if (fails) return Attempt{false, nextMinute};
  if ((client.flags & kInstallDoesNotTake) == 0) TakeInstall(client, variant, end);
  return Attempt{true, nextMinute};
}

int64_t FleetSimulation::RunFetchedCycle(uint32_t id, Client& client, int64_t minute,
                                         int64_t request) {
  uint64_t previous = client.lastUpdateCheck;
  client.lastUpdateCheck = FileTimeAtTicks(request + kFetchTicks);
  CountCheck(previous, client.lastUpdateCheck, request);
  if (client.updateAttempts >= kMaxUpdateAttempts) {
    // Event 1301: notify mode, and the policy gate stops every later cycle.
    client.flags |= kNotifyMode;
    ++record_.notifyClients;
    return endMinute_;
  }
  bool shown = rollout_.ShowsNewVersion(id, minute);
  // A check right after an installer's reset (LastUpdateCheck 0) is not a
  // return: the client comes back a day after its download at the next.
  uint8_t downloaded = VariantFlag(kDownloaded, kActiveX) | VariantFlag(kDownloaded, kPlugin);
  if (shown && previous != 0 && (client.flags & downloaded) != 0) {
    if (ReleaseDay* day = ReleaseDayOf(request)) ++day->returningChecks;
  }
  int variant = shown ? FirstOutdatedVariant(client) : kNoVariant;
  if (variant == kNoVariant) {
    client.intervalMinutes = manifestInterval_;
    return NextVisit(id, minute + 1);
  }
  Attempt attempt = AttemptInstall(id, client, variant, minute, request);
  // A cycle that starts an installer leaves the task as it is.
  if (!attempt.installerStarted) client.intervalMinutes = manifestInterval_;
  return NextVisit(id, std::max(minute + 1, attempt.nextMinute));
}

int64_t FleetSimulation::RunCycle(uint32_t id, int64_t minute) {
  Client& client = fleet_.clients[id];
  int64_t request = RequestTicks(settings_, id, client, minute);
  CountRequest(request);
  if (FetchFails(id, minute)) {
    // No manifest: LastUpdateCheck stays and the task is re-registered
    // hourly, so the next firing tries again.
    client.intervalMinutes = hourlyInterval_;
    return NextVisit(id, minute + 1);
  }
  return RunFetchedCycle(id, client, minute, request);
}

void FleetSimulation::ApplyGate(int64_t day, int64_t minute) {
  if (record_.gateDay >= 0 || day < settings_.releaseDay) return;
  if (HealthSignalPercent(record_.releaseDays[static_cast<std::size_t>(day)]) <=
      settings_.gatePercent) {
    return;
  }
  rollout_.Halt(minute);
  record_.gateDay = static_cast<int>(day);
}

PlanRecord FleetSimulation::Run(PlanProgress progress) {
  std::vector<Client>& clients = fleet_.clients;
  int64_t firstMinute = 0;
  for (int32_t firing : fleet_.lastFiring) firstMinute = std::min<int64_t>(firstMinute, firing + 1);
  // One bucket of client numbers per minute: every firing falls on a whole
  // minute, and each client waits in exactly one bucket.
  std::vector<std::vector<uint32_t>> buckets(static_cast<std::size_t>(endMinute_ - firstMinute));
  for (uint32_t id = 0; id < clients.size(); ++id) {
    int64_t next = NextVisit(id, fleet_.lastFiring[id] + int64_t{1});
    if (next < endMinute_) buckets[static_cast<std::size_t>(next - firstMinute)].push_back(id);
  }
  std::vector<int32_t>().swap(fleet_.lastFiring);
  for (int64_t minute = firstMinute; minute < endMinute_; ++minute) {
    if (minute >= 0 && minute % kMinutesPerDay == 0) {
      if (minute > 0) ApplyGate(minute / kMinutesPerDay - 1, minute);
      if (progress != nullptr) progress(static_cast<int>(minute / kMinutesPerDay), settings_.days);
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
  double bytesPerSecond = settings_.clientMbps * 1e6 / 8.0;
  record_.packageBytes = traffic_.DownloadTimePerSecond();
  for (double& bytes : record_.packageBytes) bytes *= bytesPerSecond;
  return std::move(record_);
}

}  // namespace

double DownloadSeconds(double packageMiB, const PlanSettings& settings) {
  return packageMiB * kBytesPerMiB * 8.0 / (settings.clientMbps * 1e6);
}

double HealthSignalPercent(const ReleaseDay& day) {
  if (day.returningChecks == 0) return 0;
  return 100.0 * static_cast<double>(day.repeatDownloads) /
         static_cast<double>(day.returningChecks);
}

PlanRecord SimulateFleet(const PlanSettings& settings, Fleet& fleet, PlanProgress progress) {
  FleetSimulation simulation(settings, fleet);
  return simulation.Run(progress);
}
