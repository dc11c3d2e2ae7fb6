#include "log_entry.h"

#include <algorithm>

#include "log_time.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

constexpr std::size_t kCodeDigits = 4;

void SplitEventCode(LogEntry& entry) {
  const std::string& message = entry.message;
  if (message.size() < kCodeDigits) return;
  int32_t code = 0;
  for (std::size_t at = 0; at < kCodeDigits; ++at) {
    if (!IsDigit(message[at])) return;
    code = code * 10 + (message[at] - '0');
  }
  if (message.size() > kCodeDigits && message[kCodeDigits] != ' ') return;
  entry.hasCode = true;
  entry.code = code;
  if (message.size() > kCodeDigits) entry.values = message.substr(kCodeDigits + 1);
}

}  // namespace

bool ParseLevelWord(std::string_view word, LogLevel& level) {
  for (LogLevel candidate : {LogLevel::Info, LogLevel::Warning, LogLevel::Error}) {
    std::wstring_view name = LogLevelWord(candidate);
    if (name.size() == word.size() && std::equal(word.begin(), word.end(), name.begin())) {
      level = candidate;
      return true;
    }
  }
  return false;
}

LogEntry ParseLogEntry(const LogLine& line) {
  LogEntry entry;
  entry.complete = line.complete;
  entry.message = line.text;
  std::string_view text = line.text;
  std::size_t open = text.find(" [");
  std::size_t close = open == std::string_view::npos ? open : text.find("] ", open + 2);
  if (close == std::string_view::npos) return entry;
  LogTimestamp time{};
  LogLevel level{};
  if (!ParseLogTimestamp(text.substr(0, open), time) ||
      !ParseLevelWord(text.substr(open + 2, close - open - 2), level)) {
    return entry;
  }
  entry.parsed = true;
  entry.time = time;
  entry.level = level;
  entry.message = line.text.substr(close + 2);
  SplitEventCode(entry);
  return entry;
}
