#pragma once

#include <string>
#include <string_view>

#include "log_entry.h"

// Marks the lines of the reader's output.
extern const char kUnparsedMark[];      // a line that is not in the log's form
extern const char kUnknownEventMark[];  // a code the service never writes
extern const char kCutOffMark[];        // the log ends inside this line

// One readable line, without a line end:
//   2026-12-08T21:05:03.007Z  warning  1403  <meaning> -- error 12029 = 0x00002EFD ERROR_WINHTTP_CANNOT_CONNECT
// the level padded to seven columns, "----" for a message without a code,
// and control characters of the log's text shown as \xNN.
std::string FormatEntry(const LogEntry& entry);

// Text with its control characters written as \xNN.
std::string Printable(std::string_view text);

// The values part of an entry of this event, " -- ..." or empty.
std::string DescribeValues(const LogEntry& entry);
