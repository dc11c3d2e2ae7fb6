#pragma once

#include <cstdint>
#include <string>

// A moment as the store writes it: "2024-05-01T12:00:00Z" (UTC, seconds).
std::string UtcTimeText(int64_t seconds);

// Reads that form back. False for any other text.
bool ParseUtcTime(const std::string& text, int64_t& seconds);
