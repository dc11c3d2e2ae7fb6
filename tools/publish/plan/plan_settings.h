#pragma once

#include <cstdint>
#include <vector>

// When the clients' machines are on.
enum class Uptime {
  kAlways,  // never off
  kOffice,  // weekdays from 08:00 (start-up spread over the first hour) to 18:00
};

// The two plug-in variants, in the order in which a cycle looks at them.
enum PlanVariant { kActiveX = 0, kPlugin = 1, kVariantCount = 2 };

// The fleet and the release that a plan simulates. The defaults are the
// command line's.
struct PlanSettings {
  uint32_t clients = 0;
  // The manifest's checkFrequency, read by the clients exactly as the service
  // reads it (any 32-bit value).
  int32_t checkFrequency = 1;
  // Package size of each variant in MiB.
  double packageMiB[kVariantCount] = {0, 0};
  // Shares of the fleet with both variants installed and with only the
  // browser plug-in; the rest have only the ActiveX variant.
  double bothVariantsPercent = 0;
  double pluginOnlyPercent = 0;
  int days = 14;
  Uptime uptime = Uptime::kAlways;
  // The new version is announced at 00:00 UTC of this day; a day past the run
  // announces nothing within it.
  int releaseDay = 7;
  uint64_t seed = 1;
  // 2: the task's start comes from RandomStartBoundary (Task Scheduler 2.0);
  // 1: from RandomStartTime (Task Scheduler 1.0, Windows XP).
  int schedulerVersion = 2;
  // Share of install attempts that fail; a failed attempt has downloaded the
  // whole package.
  double failurePercent = 1.0;
  // Download speed of one client, in megabits (10^6 bits) per second.
  double clientMbps = 20.0;
  // The task's interval when the run takes a client up: hourly, as a cycle
  // that was not due or "-createDefaultTask" leaves it, or the manifest's, as
  // a check just before leaves it. It decides the first firing of an office
  // machine after the weekend, and through it the state the fleet settles in.
  bool startAtManifestInterval = false;
  // Whole seconds from a firing to the manifest request, drawn once per
  // client from this window: the machine's time to start the service and
  // connect.
  int requestWindowLow = 2;
  int requestWindowHigh = 10;
  // On top of that, a uniform draw from 0 to this many seconds per firing:
  // the same machine's start-up differs from run to run.
  double startupJitterSeconds = 2.0;
  // Share of due checks whose manifest fetch fails after reaching the origin;
  // the task then fires hourly and the next firing tries again.
  double fetchFailurePercent = 0;
  // The installer runs "-createDefaultTask" at its end: UpdateAttempts 0,
  // LastUpdateCheck 0 (the next firing is due) and an hourly task.
  bool installerResets = true;
  // Staged rollout: the share of the fleet, in percent, shown the new version
  // from the announcement, one step every stepHours; the last step lasts.
  std::vector<double> rolloutPercent = {100};
  int stepHours = 24;
  // Clients (the first ones of the fleet) shown the new version from the
  // announcement whatever the share: the vendor's own machines.
  uint32_t canaryClients = 0;
  // Share of machines on which the new version's installer does not take:
  // it runs, but the version is not registered and nothing is reset.
  double badReleasePercent = 0;
  // The rollout halts at the end of a day whose health signal (repeat
  // downloads per due check shown the new version by a client that
  // downloaded it a day or more before) exceeds this share, as the
  // rollout's daily advance does.
  double gatePercent = 5;
};
