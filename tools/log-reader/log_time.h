#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "log/install_log_line.h"

// Reads the install log's time stamp "Y-M-D+h-m-s.ms": unpadded decimal
// fields (leading zeros are accepted), the milliseconds a count from 0 to 999
// (so "3.42" is 42 ms), every field within the range of the platform's
// SYSTEMTIME (year 1601 to 30827). False for anything else.
bool ParseLogTimestamp(std::string_view text, LogTimestamp& time);

// Reads a time given on the command line, UTC: "YYYY-MM-DD", optionally
// followed by "T" (or one space) and "hh:mm", ":ss", a fraction of a second
// ".f" of one to three digits, and a final "Z". Missing parts are zero.
bool ParseIsoTime(std::string_view text, LogTimestamp& time);

// ISO 8601, padded, UTC: 2026-12-08T21:05:03.007Z.
std::string FormatIsoTime(const LogTimestamp& time);

// Negative, zero or positive as a is earlier than, equal to or later than b.
int CompareLogTime(const LogTimestamp& a, const LogTimestamp& b);

// Milliseconds since 1970-01-01T00:00:00Z (negative before it), for times
// whose fields are within their ranges.
int64_t LogTimeMilliseconds(const LogTimestamp& time);
