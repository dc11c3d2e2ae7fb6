#pragma once

#include <cstdint>
#include <string>

#include "task/task_schedule.h"

// Seeded random numbers of a plan. Every draw depends only on the seed, the
// client, what it is drawn for and an index, so the figures of a seed do not
// depend on the order in which events are handled.

enum class DrawPurpose : uint32_t {
  kStart = 1,         // the task's start, through the service's own functions
  kDelay = 2,         // seconds from a firing to the manifest request
  kBoot = 3,          // minute of the office machine's start-up, per day
  kFailure = 4,       // whether an install attempt fails, per attempt
  kJitter = 5,        // the start-up's variation, per firing
  kFetchFailure = 6,  // whether a manifest fetch fails, per firing
  kVariants = 7,      // which plug-in variants the machine has
  kCohort = 8,        // the client's place in the rollout's order
  kBadInstall = 9,    // whether the new version's installer takes on the machine
  kPhase = 10,        // where in its band the last check before the run lies
};

// A uniform 64-bit number.
uint64_t MixDraw(uint64_t seed, uint32_t client, DrawPurpose purpose, uint32_t index);

// A uniform whole number from 0 to bound - 1; bound must not be 0.
uint32_t DrawBelow(uint64_t seed, uint32_t client, DrawPurpose purpose, uint32_t index,
                   uint32_t bound);

// A uniform number in [0, 1).
double DrawUnit(uint64_t seed, uint32_t client, DrawPurpose purpose, uint32_t index);

// Where a client's task registration takes its random values: the service's
// start functions draw from the client's stream in order.
class StartDrawSource {
 public:
  virtual ~StartDrawSource() = default;
  // The value at `index` of the client's stream. Its draws never fail.
  virtual unsigned int Draw(uint32_t client, uint32_t index) const = 0;
};

// The plan's stream: a hash of the seed, the client and the index.
class SeededStartDraws : public StartDrawSource {
 public:
  explicit SeededStartDraws(uint64_t seed) : seed_(seed) {}
  unsigned int Draw(uint32_t client, uint32_t index) const override;

 private:
  uint64_t seed_;
};

// RandomStartBoundary's text for the client (Task Scheduler 2.0), drawn from
// the source.
std::wstring ClientStartBoundary(const StartDrawSource& source, uint32_t client);

// RandomStartTime for the client (Task Scheduler 1.0), drawn from the source.
StartTime ClientStartTimeV1(const StartDrawSource& source, uint32_t client);
