#pragma once

#include <cstdint>
#include <string>

#include "task/task_schedule.h"

// Seeded random numbers of a plan. Every draw depends only on the seed, the
// client, what it is drawn for and an index, so the figures of a seed do not
// depend on the order in which events are handled.

enum class DrawPurpose : uint32_t {
  kStart = 1,     // the task's start, through the service's own functions
  kDelay = 2,     // seconds from a firing to the manifest request
  kBoot = 3,      // minute of the office machine's start-up, per day
  kFailure = 4,   // whether an install attempt fails, per attempt
  kPrevious = 5,  // which firing held the last check before the run
};

// A uniform 64-bit number.
uint64_t MixDraw(uint64_t seed, uint32_t client, DrawPurpose purpose, uint32_t index);

// A uniform whole number from 0 to bound - 1; bound must not be 0.
uint32_t DrawBelow(uint64_t seed, uint32_t client, DrawPurpose purpose, uint32_t index,
                   uint32_t bound);

// A uniform number in [0, 1).
double DrawUnit(uint64_t seed, uint32_t client, DrawPurpose purpose, uint32_t index);

// The random source that one client's task registration draws from: a seeded
// stream of 32-bit values handed to the service's start functions as their
// RandomDraw. Its draws never fail.
class ClientStartDraws {
 public:
  ClientStartDraws(uint64_t seed, uint32_t client);

  // RandomStartBoundary's text for this client (Task Scheduler 2.0).
  std::wstring StartBoundary();
  // RandomStartTime for this client (Task Scheduler 1.0).
  StartTime StartTimeV1();

  // The next value of the stream.
  unsigned int Next();

 private:
  uint64_t state_;
};
