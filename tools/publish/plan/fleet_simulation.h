#pragma once

#include <cstdint>
#include <vector>

#include "plan/client_fleet.h"
#include "plan/plan_settings.h"

// What a run measured, per second, minute or day of the run.
struct PlanRecord {
  std::vector<uint32_t> requests;            // manifest requests, per second
  std::vector<double> packageBytes;          // package bytes sent, per second
  std::vector<uint32_t> downloads;           // package downloads started, per minute
  std::vector<uint32_t> failedDownloads;     // of those, the attempts that failed, per minute
  std::vector<uint32_t> newVersionStarts;    // installers of the new version started, per minute
  std::vector<double> checkIntervalSeconds;  // per day: summed time from each check to the
                                             // same client's previous one
  std::vector<uint64_t> checkIntervals;      // per day: how many such pairs were summed
  uint32_t notifyClients = 0;                // clients that switched to notify mode (1301)
};

// Whole seconds one client takes to download the package at its speed (at
// least 1); the package's bytes are spread evenly over them.
int64_t DownloadSeconds(const PlanSettings& settings);

// Called when the simulation enters a day of the run.
using PlanProgress = void (*)(int day, int days);

// Plays the fleet's task firings and update cycles from each client's last
// firing before the run to the end of the run, in time order. A firing on a
// running machine starts one cycle, as the service runs it: the due test is
// the service's IsUpdateCheckDueAt at the firing plus the client's request
// delay; a due cycle fetches the manifest (one request), stores LastUpdateCheck
// a second later, stops for good at 7 recorded attempts, and from the release
// on makes one install attempt per due check until the new version's installer
// starts; every cycle that starts no installer re-registers the task, with the
// manifest's frequency after a fetch and frequency 1 otherwise. Firings that
// change nothing are skipped by arithmetic. Updates the clients in place and
// uses up fleet.lastFiring; progress may be null.
PlanRecord SimulateFleet(const PlanSettings& settings, Fleet& fleet, PlanProgress progress);
