#pragma once

#include <cstdint>

// When the clients' machines are on.
enum class Uptime {
  kAlways,  // never off
  kOffice,  // weekdays from 08:00 (start-up spread over the first hour) to 18:00
};

// The fleet and the release that a plan simulates. The defaults are the
// command line's.
struct PlanSettings {
  uint32_t clients = 0;
  // The manifest's checkFrequency, read by the clients exactly as the service
  // reads it (any 32-bit value).
  int32_t checkFrequency = 1;
  double packageMiB = 0;
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
};
