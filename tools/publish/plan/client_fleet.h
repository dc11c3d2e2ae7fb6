#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plan/plan_settings.h"
#include "plan/uptime.h"

// Seconds from a firing's manifest request to the end of its fetch, when the
// service stores LastUpdateCheck. The due test runs before the request, so a
// firing exactly 24 hours after a check is not due.
constexpr int64_t kFetchSeconds = 1;

// The frequency a cycle registers when it fetched no manifest.
constexpr int32_t kFrequencyWithoutManifest = 1;

// One client between two of its cycles: 16 bytes, so that ten million fit in
// 160 MB.
struct Client {
  uint64_t lastUpdateCheck;  // FILETIME of the last successful fetch, as the registry holds it
  uint8_t startMinute;       // the task's start, minutes after 00:00 UTC, modulo 240
  uint8_t requestDelay;      // seconds from a firing to the manifest request
  uint8_t intervalMinutes;   // the task's repetition interval: 60, 120 or 240
  uint8_t updateAttempts;    // UpdateAttempts; the attempt limit stops it at 7
  bool newVersion;           // the new version's installer was started
  bool notifyMode;           // switched to notify mode (event 1301): no more checks
};

// The clients, and for each the minute of its last firing before the run: the
// simulation takes each client up from the firing after that one.
struct Fleet {
  std::vector<Client> clients;
  std::vector<int32_t> lastFiring;
};

// Minutes after 00:00 of a start boundary "2000-01-01Thh:mm:00Z"; false for
// any other text.
bool StartMinuteFromBoundary(const std::wstring& boundary, int& minute);

// A fleet as the run finds it. Each client's task start comes from the
// service's own RandomStartBoundary (or RandomStartTime for Task Scheduler
// 1.0) with a seeded draw, and its request delay is 2 to 10 s; the old version
// is installed, no attempt was made, and the task runs at the interval the
// settings choose. Always on, the last check was at one of the client's
// hourly firings in the 25 hours before the run (the steady state: a check
// every 25 hours); office machines are taken up a week before the run, from a
// check on the Friday before that, so that they settle in their weekly rhythm.
// False, with the fleet left empty, when a start boundary has another form.
bool MakeFleet(const PlanSettings& settings, const UptimeModel& uptime, Fleet& fleet);
