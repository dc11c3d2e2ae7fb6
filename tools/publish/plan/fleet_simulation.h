#pragma once

#include <cstdint>
#include <vector>

#include "plan/client_fleet.h"
#include "plan/plan_settings.h"

// What one day of the run saw of the release, counted by the request's day.
struct ReleaseDay {
  uint64_t returningChecks = 0;  // due checks shown the new version by clients that
                                 // downloaded it a day or more before
  uint64_t repeatDownloads = 0;  // downloads of a package the client had downloaded before
  uint32_t mostAttempts = 0;     // the highest UpdateAttempts an attempt of the day reached
};

// What a run measured, per second, minute or day of the run.
struct PlanRecord {
  std::vector<uint32_t> requests;            // manifest requests, per second
  std::vector<double> packageBytes;          // package bytes sent, per second
  std::vector<uint32_t> downloads;           // package downloads started, per minute
  std::vector<uint32_t> failedDownloads;     // of those, the attempts that failed, per minute
  std::vector<uint32_t> newVersionStarts;    // clients whose every variant came to run the
                                             // new version, per minute
  std::vector<int32_t> attemptLimitChanges;  // clients reaching 7 attempts less those reset
                                             // below, per minute
  std::vector<double> checkIntervalSeconds;  // per day: summed time from each check to the
                                             // same client's previous one
  std::vector<uint64_t> checkIntervals;      // per day: how many such pairs were summed
  std::vector<ReleaseDay> releaseDays;       // per day
  uint32_t notifyClients = 0;                // clients that switched to notify mode (1301)
  int gateDay = -1;                          // the day whose health signal halted the rollout
};

// Seconds one client takes to download a package of that size at its speed.
double DownloadSeconds(double packageMiB, const PlanSettings& settings);

// The health signal of a day in percent: repeat downloads per returning
// check (a due check shown the new version by a client that downloaded it
// at an earlier check a day or more before, so had its chance to install
// it); 0 without such checks. A
// release that takes leaves only the failed attempts' retries; one that
// does not take downloads again at nearly every returning check, from the
// first day after a client's first exposure, whatever the rollout's ramp.
double HealthSignalPercent(const ReleaseDay& day);

// Called when the simulation enters a day of the run.
using PlanProgress = void (*)(int day, int days);

// Plays the fleet's task firings and update cycles from each client's last
// firing before the run to the end of the run, in time order. A firing on a
// running machine starts one cycle, as the service runs it: the due test is
// the service's IsUpdateCheckDueAt at the manifest request; a due cycle
// fetches the manifest (one request; a failed fetch stores nothing and the
// hourly task tries again), stores LastUpdateCheck a second later, stops for
// good at 7 recorded attempts, and, when the rollout shows it the new
// version, makes one install attempt for the first outdated variant
// (ActiveX first); every cycle that starts no installer re-registers the
// task, with the manifest's frequency after a fetch and frequency 1
// otherwise. An installer that takes resets the client as
// "-createDefaultTask" does, when the settings say so. At each midnight the
// rollout halts if the day before's health signal exceeded the gate.
// Firings that change nothing are skipped by arithmetic. Updates the clients
// in place and uses up fleet.lastFiring; progress may be null.
PlanRecord SimulateFleet(const PlanSettings& settings, Fleet& fleet, PlanProgress progress);
