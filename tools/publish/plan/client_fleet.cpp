#include "plan/client_fleet.h"

#include <utility>

#include "plan/plan_time.h"
#include "plan/seeded_draw.h"
#include "task/task_schedule.h"

namespace {

constexpr wchar_t kBoundaryDate[] = L"2000-01-01T";
constexpr wchar_t kBoundarySeconds[] = L":00Z";
constexpr uint32_t kRequestDelays = 9;  // 2 to 10 s
constexpr uint32_t kMinRequestDelay = 2;
constexpr int64_t kOfficeWarmUpDay = -7;  // the Monday a week before day 0
constexpr int64_t kOfficeWarmUpLastCheckAge = 2 * kSecondsPerDay + 6 * 3600;  // Friday, 18:00

bool TwoDigits(const std::wstring& text, std::size_t at, int& value) {
  wchar_t tens = text[at], units = text[at + 1];
  if (tens < L'0' || tens > L'9' || units < L'0' || units > L'9') return false;
  value = (tens - L'0') * 10 + (units - L'0');
  return true;
}

bool StartMinuteOf(uint64_t seed, uint32_t client, int schedulerVersion, int& minute) {
  ClientStartDraws draws(seed, client);
  if (schedulerVersion == 1) {
    StartTime start = draws.StartTimeV1();
    minute = start.hour * 60 + start.minute;
    return true;
  }
  return StartMinuteFromBoundary(draws.StartBoundary(), minute);
}

// The firing of the last check before the run and when that check stored
// LastUpdateCheck. Always on, the fleet is in its steady state at once: one
// check every 25 hours, the last one at one of the client's hourly firings in
// the 25 hours before the run. Office machines settle in a week: each runs the
// week before the run from a check on the Friday before that.
struct PreviousCheck {
  int64_t firing;
  int64_t storedSecond;
};

PreviousCheck PreviousCheckOf(const UptimeModel& uptime, uint64_t seed, uint32_t client,
                              int startMinute, int requestDelay) {
  if (uptime.uptime() == Uptime::kAlways) {
    // Checks come at the first hourly firing more than a day after the last.
    int hourly = RepetitionIntervalMinutes(kFrequencyWithoutManifest);
    uint32_t firingsPerCheck = static_cast<uint32_t>(kMinutesPerDay / hourly + 1);
    int64_t lastBeforeRun = uptime.NextFiring(client, startMinute, hourly, -hourly, 0);
    int64_t firing = lastBeforeRun -
                     hourly * DrawBelow(seed, client, DrawPurpose::kPrevious, 0, firingsPerCheck);
    return PreviousCheck{firing, firing * kSecondsPerMinute + requestDelay + kFetchSeconds};
  }
  return PreviousCheck{kOfficeWarmUpDay * kMinutesPerDay - 1,
                       kOfficeWarmUpDay * kSecondsPerDay - kOfficeWarmUpLastCheckAge};
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

bool MakeFleet(const PlanSettings& settings, const UptimeModel& uptime, Fleet& fleet) {
  Fleet made;
  made.clients.resize(settings.clients);
  made.lastFiring.resize(settings.clients);
  uint8_t interval = static_cast<uint8_t>(RepetitionIntervalMinutes(
      settings.startAtManifestInterval ? settings.checkFrequency : kFrequencyWithoutManifest));
  for (uint32_t id = 0; id < settings.clients; ++id) {
    int startMinute = 0;
    if (!StartMinuteOf(settings.seed, id, settings.schedulerVersion, startMinute)) return false;
    Client& client = made.clients[id];
    // Every repetition interval divides 240 minutes, so the start modulo 240
    // fixes all of the task's firings.
    client.startMinute = static_cast<uint8_t>(startMinute % 240);
    client.requestDelay = static_cast<uint8_t>(
        kMinRequestDelay + DrawBelow(settings.seed, id, DrawPurpose::kDelay, 0, kRequestDelays));
    PreviousCheck previous =
        PreviousCheckOf(uptime, settings.seed, id, startMinute, client.requestDelay);
    client.lastUpdateCheck = FileTimeAt(previous.storedSecond);
    client.intervalMinutes = interval;
    client.updateAttempts = 0;
    client.newVersion = false;
    client.notifyMode = false;
    made.lastFiring[id] = static_cast<int32_t>(previous.firing);
  }
  fleet = std::move(made);
  return true;
}
