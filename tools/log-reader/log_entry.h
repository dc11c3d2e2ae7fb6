#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "log/install_log_line.h"
#include "log_text.h"

// One line of the install log, taken apart.
struct LogEntry {
  // Whether the line has the log's form "time [level] message"; when it has
  // not, message holds the whole line.
  bool parsed = false;
  bool complete = true;  // see LogLine::complete
  LogTimestamp time{};
  LogLevel level = LogLevel::Info;
  std::string message;
  // A message that begins with four digits followed by a space or its end
  // carries an event code; values is the text after the code and its space.
  bool hasCode = false;
  int32_t code = 0;
  std::string values;
};

// "info", "warning" or "error", exactly.
bool ParseLevelWord(std::string_view word, LogLevel& level);

LogEntry ParseLogEntry(const LogLine& line);
