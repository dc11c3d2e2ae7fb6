#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plan/plan_settings.h"
#include "plan/seeded_draw.h"
#include "plan/uptime.h"

// Seconds from a firing's manifest request to the end of its fetch, when the
// service stores LastUpdateCheck. The due test runs before the request.
constexpr int64_t kFetchSeconds = 1;

// The frequency a cycle registers when it fetched no manifest.
constexpr int32_t kFrequencyWithoutManifest = 1;

// Bits of Client::flags. The per-variant bits are given for ActiveX; the
// browser plug-in's are the next bit up (VariantFlag).
enum ClientFlag : uint8_t {
  kHasVariant = 1 << 0,          // the variant is installed
  kNewVersion = 1 << 2,          // the variant runs the new version
  kDownloaded = 1 << 4,          // the variant's new package was downloaded before
  kInstallDoesNotTake = 1 << 6,  // the new version's installer does not take here
  kNotifyMode = 1 << 7,          // switched to notify mode (event 1301): no more checks
};

inline uint8_t VariantFlag(ClientFlag flag, int variant) {
  return static_cast<uint8_t>(flag << variant);
}

// One client between two of its cycles: 16 bytes, so that ten million fit in
// 160 MB.
struct Client {
  uint64_t lastUpdateCheck;  // FILETIME of the last successful fetch, as the registry holds it
  uint8_t startMinute;       // the task's start, minutes after 00:00 UTC, modulo 240
  uint8_t requestDelay;      // whole seconds from a firing to the manifest request
  uint8_t intervalMinutes;   // the task's repetition interval: 60, 120 or 240
  uint8_t updateAttempts;    // UpdateAttempts; the attempt limit stops it at 7
  uint8_t flags;             // ClientFlag bits
};
static_assert(sizeof(Client) == 16, "ten million clients must fit in 160 MB");

// The clients, and for each the minute of its last firing before the run: the
// simulation takes each client up from the firing after that one.
struct Fleet {
  std::vector<Client> clients;
  std::vector<int32_t> lastFiring;
};

// Minutes after 00:00 of a start boundary "2000-01-01Thh:mm:00Z"; false for
// any other text.
bool StartMinuteFromBoundary(const std::wstring& boundary, int& minute);

// The most ticks the start-up jitter adds to a request.
int64_t MaxJitterTicks(const PlanSettings& settings);

// When the manifest request of the client's firing at `minute` reaches the
// origin, in ticks from day 0: the firing, the client's request delay and
// the start-up jitter drawn for that firing.
int64_t RequestTicks(const PlanSettings& settings, uint32_t id, const Client& client,
                     int64_t minute);

// A fleet as the run finds it. Each client's task start comes from the
// service's own RandomStartBoundary (or RandomStartTime for Task Scheduler
// 1.0) drawing from `starts`; its request delay, its variants and whether
// the new installer takes on it are drawn from the seed. The old version is
// installed, no attempt was made, and the task runs at the interval the
// settings choose. Always on, the last check was at one of the client's 25
// hourly firings before the run, client n at the (n mod 25)-th from the
// last (the steady state: a check every 25 hours, phases evenly spread);
// office machines are taken up a week before the run, from a check on the
// Friday before that, so that they settle in their weekly rhythm. False,
// with the fleet left empty, when a start boundary has another form.
bool MakeFleet(const PlanSettings& settings, const UptimeModel& uptime,
               const StartDrawSource& starts, Fleet& fleet);
