#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "log_entry.h"

// An inclusive range of event codes; a single code is a range of one.
struct CodeRange {
  int32_t first;
  int32_t last;
};

// Which entries to show. Every condition that is set must hold; an entry
// without a time stamp (an unparsed line) never passes a set condition.
struct EntryFilter {
  std::optional<LogLevel> exactLevel;
  std::optional<LogLevel> minimumLevel;
  std::vector<CodeRange> codes;      // empty: any code, or none
  std::optional<LogTimestamp> from;  // at or after
  std::optional<LogTimestamp> to;    // before

  bool IsSet() const;
};

bool PassesFilter(const LogEntry& entry, const EntryFilter& filter);

// Reads "1403", "1400-1411" or a comma-separated list of them and appends the
// ranges; false (nothing appended) for anything else.
bool ParseCodeList(std::string_view text, std::vector<CodeRange>& codes);
