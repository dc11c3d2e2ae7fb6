#pragma once

#include <cstdint>

// 24 hours in FILETIME units (100 ns).
constexpr uint64_t kUpdateCheckInterval = 864000000000ULL;

// True when last + 24 hours lies strictly before now, the sum taken modulo
// 2^64: exactly 24 hours after the last check is not yet due, and a last check
// in the future is due only 24 hours after that time.
bool IsUpdateCheckDueAt(uint64_t lastUpdateCheck, uint64_t now);
