#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "entry_filter.h"

// What the command line asks for.
struct ReaderOptions {
  std::string path;
  EntryFilter filter;
  // Count lines that are not in the log's form instead of printing them.
  bool skipUnparsed = false;
  bool help = false;
};

extern const char kReaderUsage[];

// Reads the arguments after the program name. False with a one-line reason
// for an unknown option, a bad value or a missing or second file name.
bool ParseReaderOptions(const std::vector<std::string>& arguments, ReaderOptions& options,
                        std::string& error);

struct ReadSummary {
  std::size_t shown = 0;
  std::size_t filteredOut = 0;     // entries that a filter left out
  std::size_t unparsedSkipped = 0; // lines not in the log's form, not shown
  // What the entries dated after now say of the clock, whatever the filter
  // (see FutureEntries::Note); empty when none is.
  std::string clockNote;
};

// The readable lines of the log's bytes that the options select, each ended
// by a line feed. Unparsed lines are shown (marked) only when no filter is
// set and skipUnparsed is false; otherwise they are counted. now is the
// reader's clock, UTC.
std::string ReadInstallLog(std::string_view bytes, const ReaderOptions& options,
                           const LogTimestamp& now, ReadSummary& summary);
