#pragma once

#include <cstdint>
#include <string>

// One draw of a cryptographic random source: false when the draw failed.
using RandomDraw = bool (*)(unsigned int* value);

// Repetition interval of the task from the manifest's check frequency, taken
// as unsigned: 0 or 1 -> "PT1H" / 60, 2 -> "PT2H" / 120, else "PT4H" / 240.
std::wstring RepetitionIntervalText(int32_t frequency);
int RepetitionIntervalMinutes(int32_t frequency);

// "2000-01-01Thh:mm:00Z" with a random time from 00:00 to 03:59; a failed
// draw gives 0 for its digit. Draws, in order: the hour's second digit (low
// two bits), the minute's first digit (modulo 6), its second (modulo 10).
std::wstring RandomStartBoundary(RandomDraw draw);

// The start time of the Task Scheduler 1.0 trigger: the hour from a first
// draw (low two bits, 0 to 3), the minute from a second (modulo 60); a failed
// draw gives 0.
struct StartTime {
  uint16_t hour;
  uint16_t minute;
};
StartTime RandomStartTime(RandomDraw draw);

// Which Task Scheduler serves a Windows version: 2 on the NT platform (2)
// from major version 6 on, 1 on every older or other platform.
int32_t SchedulerVersionFor(uint32_t platformId, uint32_t majorVersion);
