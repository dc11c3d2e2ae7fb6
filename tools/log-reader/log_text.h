#pragma once

#include <string>
#include <string_view>
#include <vector>

// One line of the install log, decoded to UTF-8, without its CR LF.
struct LogLine {
  std::string text;
  // False for a last line that the file ends in without CR LF, or in the
  // middle of a character: the writer was cut off.
  bool complete = true;
};

// Splits the log's bytes (UTF-16 little-endian, no byte-order mark) at each
// CR LF. A lone CR or LF stays inside its line. A character cut off at the
// end of the file (an odd last byte, a high surrogate with nothing after it)
// is dropped; any other unpaired surrogate reads as U+FFFD.
std::vector<LogLine> SplitLogLines(std::string_view bytes);
