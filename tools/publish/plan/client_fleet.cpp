#include "plan/client_fleet.h"

#include <sys/mman.h>
#include <unistd.h>

#include <utility>

#include "plan/plan_time.h"
#include "plan/steady_jitter.h"
#include "task/task_schedule.h"

namespace {

constexpr wchar_t kBoundaryDate[] = L"2000-01-01T";
constexpr wchar_t kBoundarySeconds[] = L":00Z";
constexpr int64_t kOfficeWarmUpDay = -7;  // the Monday a week before day 0
constexpr int64_t kOfficeWarmUpLastCheckAge = 2 * kSecondsPerDay + 6 * 3600;  // Friday, 18:00

// The simulation visits clients all over the array, so with 4 KiB pages
// nearly every visit misses the address cache; huge pages more than halve
// its time. Asked for before the memory is first touched; a refusal only
// costs speed.
void AskForHugePages(void* memory, std::size_t bytes) {
  const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  uintptr_t begin = (reinterpret_cast<uintptr_t>(memory) + page - 1) & ~(page - 1);
  uintptr_t end = (reinterpret_cast<uintptr_t>(memory) + bytes) & ~(page - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

bool TwoDigits(const std::wstring& text, std::size_t at, int& value) {
  wchar_t tens = text[at], units = text[at + 1];
  if (tens < L'0' || tens > L'9' || units < L'0' || units > L'9') return false;
  value = (tens - L'0') * 10 + (units - L'0');
  return true;
}

bool StartMinuteOf(const StartDrawSource& starts, uint32_t client, int schedulerVersion,
                   int& minute) {
  if (schedulerVersion == 1) {
    StartTime start = ClientStartTimeV1(starts, client);
    minute = start.hour * 60 + start.minute;
    return true;
  }
  return StartMinuteFromBoundary(ClientStartBoundary(starts, client), minute);
}

bool DrawnBelowPercent(const PlanSettings& settings, uint32_t client, DrawPurpose purpose,
                       double percent) {
  return DrawUnit(settings.seed, client, purpose, 0) < percent / 100.0;
}

uint8_t VariantFlagsOf(const PlanSettings& settings, uint32_t client) {
  double draw = 100.0 * DrawUnit(settings.seed, client, DrawPurpose::kVariants, 0);
  uint8_t activeX = VariantFlag(kHasVariant, kActiveX);
  uint8_t plugin = VariantFlag(kHasVariant, kPlugin);
  if (draw < settings.bothVariantsPercent) return activeX | plugin;
  return draw < settings.bothVariantsPercent + settings.pluginOnlyPercent ? plugin : activeX;
}

// The last check before the run: its firing and when it stored
// LastUpdateCheck.
struct PreviousCheck {
  int64_t firing;
  uint64_t stored;
};

// Always on, the run starts in the steady state: a check comes at the first
// hourly firing more than a day after the one before, 25 firings later or,
// when the start-up jitter allows, 24. So the last check lies at one of the
// last 25 firings before the run, each as likely, with the steady jitter of
// a check, except that the share p of those 24 firings before the last that
// are due again at the last firing is played by the simulation before the
// run: the last firing itself holds a share 1 - p of the clients, with a
// fresh jitter, as a check after a 25-hour step has. Client n takes the
// (n mod 25)-th band of that spread, at a place in the band drawn from the
// seed.
PreviousCheck SteadyPreviousCheck(const PlanSettings& settings, const UptimeModel& uptime,
                                  const SteadyJitter& jitter, uint32_t id, const Client& client,
                                  int startMinute) {
  int hourly = RepetitionIntervalMinutes(kFrequencyWithoutManifest);
  int64_t firingsPerCheck = kMinutesPerDay / hourly + 1;
  double lastShare = 1 - jitter.TwentyFourHourShare();
  double bandWidth =
      (static_cast<double>(firingsPerCheck) - 1 + lastShare) / static_cast<double>(firingsPerCheck);
  double place = (static_cast<double>(id % firingsPerCheck) +
                  DrawUnit(settings.seed, id, DrawPurpose::kPhase, 0)) *
                 bandWidth;
  int64_t lastBeforeRun = uptime.NextFiring(id, startMinute, hourly, -hourly, 0);
  if (place < lastShare) {
    return PreviousCheck{lastBeforeRun,
                         FileTimeAtTicks(RequestTicks(settings, id, client, lastBeforeRun) +
                                         kFetchSeconds * kTicksPerSecond)};
  }
  int64_t firing = lastBeforeRun - hourly * (static_cast<int64_t>(place - lastShare) + 1);
  double seconds = client.requestDelay +
                   jitter.JitterFor(DrawUnit(settings.seed, id, DrawPurpose::kPhase, 1)) +
                   static_cast<double>(kFetchSeconds);
  return PreviousCheck{firing, FileTimeAtTicks(firing * kTicksPerMinute +
                                               static_cast<int64_t>(seconds * kTicksPerSecond))};
}

// Office machines settle in a week: each runs the week before the run from
// a check on the Friday before that.
PreviousCheck OfficePreviousCheck() {
  return PreviousCheck{kOfficeWarmUpDay * kMinutesPerDay - 1,
                       FileTimeAt(kOfficeWarmUpDay * kSecondsPerDay - kOfficeWarmUpLastCheckAge)};
}

}  // namespace

bool StartMinuteFromBoundary(const std::wstring& boundary, int& minute) {
  int hour = 0, minuteOfHour = 0;
  if (boundary.size() != 20 || boundary.compare(0, 11, kBoundaryDate) != 0 ||
      boundary[13] != L':' || boundary.compare(16, 4, kBoundarySeconds) != 0 ||
      !TwoDigits(boundary, 11, hour) || !TwoDigits(boundary, 14, minuteOfHour) || hour > 23 ||
      minuteOfHour > 59) {
    return false;
  }
  minute = hour * 60 + minuteOfHour;
  return true;
}

int64_t MaxJitterTicks(const PlanSettings& settings) {
  return static_cast<int64_t>(settings.startupJitterSeconds * kTicksPerSecond);
}

int64_t RequestTicks(const PlanSettings& settings, uint32_t id, const Client& client,
                     int64_t minute) {
  int64_t ticks = minute * kTicksPerMinute + client.requestDelay * kTicksPerSecond;
  if (settings.startupJitterSeconds <= 0) return ticks;
  double draw = DrawUnit(settings.seed, id, DrawPurpose::kJitter, static_cast<uint32_t>(minute));
  return ticks + static_cast<int64_t>(draw * settings.startupJitterSeconds * kTicksPerSecond);
}

bool MakeFleet(const PlanSettings& settings, const UptimeModel& uptime,
               const StartDrawSource& starts, Fleet& fleet) {
  Fleet made;
  made.clients.reserve(settings.clients);
  AskForHugePages(made.clients.data(), settings.clients * sizeof(Client));
  made.clients.resize(settings.clients);
  made.lastFiring.resize(settings.clients);
  uint8_t interval = static_cast<uint8_t>(RepetitionIntervalMinutes(
      settings.startAtManifestInterval ? settings.checkFrequency : kFrequencyWithoutManifest));
  uint32_t delays =
      static_cast<uint32_t>(settings.requestWindowHigh - settings.requestWindowLow + 1);
  SteadyJitter jitter(settings.startupJitterSeconds, static_cast<double>(kFetchSeconds));
  for (uint32_t id = 0; id < settings.clients; ++id) {
    int startMinute = 0;
    if (!StartMinuteOf(starts, id, settings.schedulerVersion, startMinute)) return false;
    Client& client = made.clients[id];
    // Every repetition interval divides 240 minutes, so the start modulo 240
    // fixes all of the task's firings.
    client.startMinute = static_cast<uint8_t>(startMinute % 240);
    client.requestDelay = static_cast<uint8_t>(
        settings.requestWindowLow + DrawBelow(settings.seed, id, DrawPurpose::kDelay, 0, delays));
    client.intervalMinutes = interval;
    client.updateAttempts = 0;
    client.flags = VariantFlagsOf(settings, id);
    if (DrawnBelowPercent(settings, id, DrawPurpose::kBadInstall, settings.badReleasePercent)) {
      client.flags |= kInstallDoesNotTake;
    }
    PreviousCheck previous =
        settings.uptime == Uptime::kOffice
            ? OfficePreviousCheck()
            : SteadyPreviousCheck(settings, uptime, jitter, id, client, startMinute);
    client.lastUpdateCheck = previous.stored;
    made.lastFiring[id] = static_cast<int32_t>(previous.firing);
  }
  fleet = std::move(made);
  return true;
}
