#include "plan/client_fleet.h"

#include <utility>

#include "plan/plan_time.h"
#include "task/task_schedule.h"

namespace {

constexpr wchar_t kBoundaryDate[] = L"2000-01-01T";
constexpr wchar_t kBoundarySeconds[] = L":00Z";
constexpr int64_t kOfficeWarmUpDay = -7;  // the Monday a week before day 0
constexpr int64_t kOfficeWarmUpLastCheckAge = 2 * kSecondsPerDay + 6 * 3600;  // Friday, 18:00

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

// The share of checks that come 24 hours after the one before: those whose
// request, jitter included, comes more than the fetch's second later than
// the request of the check before. Both jitters are uniform from 0 to J.
double TwentyFourHourShare(const PlanSettings& settings) {
  double jitter = settings.startupJitterSeconds, fetch = static_cast<double>(kFetchSeconds);
  return jitter <= fetch ? 0 : (jitter - fetch) * (jitter - fetch) / (2 * jitter * jitter);
}

// How many hourly firings before the last one before the run the client's
// last check came: the run starts in the steady state. A check comes at the
// first hourly firing more than a day after the one before, 25 firings
// later or, when the start-up jitter allows, 24. So the last check lies at
// one of the 25 firings, each as likely, except that a check 24 firings
// before has a share p of the clients due again at the last firing, which
// the simulation plays before the run: its share here is 1 - p smaller at
// the last firing. Client n takes the (n mod 25)-th band of that spread, at
// a place in the band drawn from the seed.
int64_t PreviousCheckPhase(const PlanSettings& settings, uint32_t client,
                           int64_t firingsPerCheck) {
  double lastShare = 1 - TwentyFourHourShare(settings);
  double bandWidth = (static_cast<double>(firingsPerCheck) - 1 + lastShare) /
                     static_cast<double>(firingsPerCheck);
  double place = (static_cast<double>(client % firingsPerCheck) +
                  DrawUnit(settings.seed, client, DrawPurpose::kPhase, 0)) *
                 bandWidth;
  return place < lastShare ? 0 : static_cast<int64_t>(place - lastShare) + 1;
}

// The firing of the last check before the run. Always on, the fleet is in
// its steady state at once. Office machines settle in a week: each runs the
// week before the run from a check on the Friday before that.
int64_t PreviousCheckFiring(const PlanSettings& settings, const UptimeModel& uptime,
                            uint32_t client, int startMinute) {
  if (uptime.uptime() == Uptime::kOffice) return kOfficeWarmUpDay * kMinutesPerDay - 1;
  int hourly = RepetitionIntervalMinutes(kFrequencyWithoutManifest);
  int64_t firingsPerCheck = kMinutesPerDay / hourly + 1;
  int64_t lastBeforeRun = uptime.NextFiring(client, startMinute, hourly, -hourly, 0);
  return lastBeforeRun - hourly * PreviousCheckPhase(settings, client, firingsPerCheck);
}

uint64_t PreviousCheckStored(const PlanSettings& settings, uint32_t id, const Client& client,
                             int64_t firing) {
  if (settings.uptime == Uptime::kOffice) {
    return FileTimeAt(kOfficeWarmUpDay * kSecondsPerDay - kOfficeWarmUpLastCheckAge);
  }
  return FileTimeAtTicks(RequestTicks(settings, id, client, firing) +
                         kFetchSeconds * kTicksPerSecond);
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
  made.clients.resize(settings.clients);
  made.lastFiring.resize(settings.clients);
  uint8_t interval = static_cast<uint8_t>(RepetitionIntervalMinutes(
      settings.startAtManifestInterval ? settings.checkFrequency : kFrequencyWithoutManifest));
  uint32_t delays =
      static_cast<uint32_t>(settings.requestWindowHigh - settings.requestWindowLow + 1);
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
    int64_t firing = PreviousCheckFiring(settings, uptime, id, startMinute);
    client.lastUpdateCheck = PreviousCheckStored(settings, id, client, firing);
    made.lastFiring[id] = static_cast<int32_t>(firing);
  }
  fleet = std::move(made);
  return true;
}
