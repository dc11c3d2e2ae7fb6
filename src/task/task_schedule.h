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
// draw gives 0 for its digit.
std::wstring RandomStartBoundary(RandomDraw draw);
