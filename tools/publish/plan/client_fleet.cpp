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
constexpr uint32_t kSteadyStateHours = 25;  // one check every 25 hours when always on
constexpr int64_t kPreviousOfficeDay = -3;  // the Friday before day 0

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

// The firing of the client's last check before the run.
int64_t PreviousCheckFiring(const UptimeModel& uptime, uint64_t seed, uint32_t client,
                            int startMinute) {
  if (uptime.uptime() == Uptime::kAlways) {
    int64_t lastBeforeRun = uptime.NextFiring(client, startMinute, 60, -60, 0);
    return lastBeforeRun - 60 * DrawBelow(seed, client, DrawPurpose::kPrevious, 0,
                                          kSteadyStateHours);
  }
  int64_t dayStart = kPreviousOfficeDay * kMinutesPerDay;
  int64_t first = uptime.NextFiring(client, startMinute, 60, dayStart, dayStart + kMinutesPerDay);
  int64_t off = dayStart + 18 * 60;
  uint32_t firings = static_cast<uint32_t>((off - 1 - first) / 60 + 1);
  return first + 60 * DrawBelow(seed, client, DrawPurpose::kPrevious, 0, firings);
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
  uint8_t interval = static_cast<uint8_t>(RepetitionIntervalMinutes(settings.checkFrequency));
  for (uint32_t id = 0; id < settings.clients; ++id) {
    int startMinute = 0;
    if (!StartMinuteOf(settings.seed, id, settings.schedulerVersion, startMinute)) return false;
    Client& client = made.clients[id];
    // Every repetition interval divides 240 minutes, so the start modulo 240
    // fixes all of the task's firings.
    client.startMinute = static_cast<uint8_t>(startMinute % 240);
    client.requestDelay = static_cast<uint8_t>(
        kMinRequestDelay + DrawBelow(settings.seed, id, DrawPurpose::kDelay, 0, kRequestDelays));
    int64_t firing = PreviousCheckFiring(uptime, settings.seed, id, startMinute);
    client.lastUpdateCheck =
        FileTimeAt(firing * kSecondsPerMinute + client.requestDelay + kFetchSeconds);
    client.intervalMinutes = interval;
    client.updateAttempts = 0;
    client.newVersion = false;
    client.notifyMode = false;
    made.lastFiring[id] = static_cast<int32_t>(firing);
  }
  fleet = std::move(made);
  return true;
}
