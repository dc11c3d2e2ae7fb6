#include "log_time.h"

#include <cstdio>

namespace {

// Longest field that a SYSTEMTIME value can need, with room for leading zeros.
constexpr std::size_t kMaxFieldDigits = 9;

// Reads decimal digits at position up to one of the separators; false for an
// empty or over-long field.
bool ReadField(std::string_view text, std::size_t& position, unsigned& value) {
  std::size_t start = position;
  value = 0;
  while (position < text.size() && text[position] >= '0' && text[position] <= '9') {
    if (position - start == kMaxFieldDigits) return false;
    value = value * 10 + static_cast<unsigned>(text[position] - '0');
    ++position;
  }
  return position > start;
}

bool Expect(std::string_view text, std::size_t& position, char separator) {
  if (position >= text.size() || text[position] != separator) return false;
  ++position;
  return true;
}

bool InRange(const LogTimestamp& time) {
  return time.year >= 1601 && time.year <= 30827 && time.month >= 1 && time.month <= 12 &&
         time.day >= 1 && time.day <= 31 && time.hour <= 23 && time.minute <= 59 &&
         time.second <= 59 && time.milliseconds <= 999;
}

// Exactly `digits` decimal digits.
bool ReadFixed(std::string_view text, std::size_t& position, std::size_t digits, unsigned& value) {
  std::size_t start = position;
  if (!ReadField(text, position, value)) return false;
  return position - start == digits;
}

// ".f", ".ff" or ".fff" as milliseconds.
bool ReadFraction(std::string_view text, std::size_t& position, unsigned& milliseconds) {
  std::size_t start = position;
  unsigned value = 0;
  if (!ReadField(text, position, value)) return false;
  std::size_t digits = position - start;
  if (digits > 3) return false;
  for (; digits < 3; ++digits) value *= 10;
  milliseconds = value;
  return true;
}

}  // namespace

bool ParseLogTimestamp(std::string_view text, LogTimestamp& time) {
  LogTimestamp read{};
  std::size_t at = 0;
  bool ok = ReadField(text, at, read.year) && Expect(text, at, '-') && ReadField(text, at, read.month) &&
            Expect(text, at, '-') && ReadField(text, at, read.day) && Expect(text, at, '+') &&
            ReadField(text, at, read.hour) && Expect(text, at, '-') && ReadField(text, at, read.minute) &&
            Expect(text, at, '-') && ReadField(text, at, read.second) && Expect(text, at, '.') &&
            ReadField(text, at, read.milliseconds) && at == text.size() && InRange(read);
  if (ok) time = read;
  return ok;
}

bool ParseIsoTime(std::string_view text, LogTimestamp& time) {
  LogTimestamp read{};
  std::size_t at = 0;
  if (!ReadFixed(text, at, 4, read.year) || !Expect(text, at, '-') || !ReadFixed(text, at, 2, read.month) ||
      !Expect(text, at, '-') || !ReadFixed(text, at, 2, read.day)) {
    return false;
  }
  if (at < text.size() && (text[at] == 'T' || text[at] == ' ')) {
    ++at;
    if (!ReadFixed(text, at, 2, read.hour) || !Expect(text, at, ':') || !ReadFixed(text, at, 2, read.minute)) {
      return false;
    }
    if (at < text.size() && text[at] == ':') {
      ++at;
      if (!ReadFixed(text, at, 2, read.second)) return false;
      if (at < text.size() && text[at] == '.') {
        ++at;
        if (!ReadFraction(text, at, read.milliseconds)) return false;
      }
    }
  }
  if (at < text.size() && text[at] == 'Z') ++at;
  if (at != text.size() || !InRange(read)) return false;
  time = read;
  return true;
}

std::string FormatIsoTime(const LogTimestamp& time) {
  char text[40];
  std::snprintf(text, sizeof(text), "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", time.year, time.month, time.day,
                time.hour, time.minute, time.second, time.milliseconds);
  return text;
}

int CompareLogTime(const LogTimestamp& a, const LogTimestamp& b) {
  const unsigned left[] = {a.year, a.month, a.day, a.hour, a.minute, a.second, a.milliseconds};
  const unsigned right[] = {b.year, b.month, b.day, b.hour, b.minute, b.second, b.milliseconds};
  for (int field = 0; field < 7; ++field) {
    if (left[field] != right[field]) return left[field] < right[field] ? -1 : 1;
  }
  return 0;
}

int64_t LogTimeMilliseconds(const LogTimestamp& time) {
  // Days from the civil date, counting years from March so that the leap
  // day ends a year; 719468 days lie between 0000-03-01 and 1970-01-01.
  int64_t year = static_cast<int64_t>(time.year) - (time.month <= 2 ? 1 : 0);
  int64_t era = year / 400;
  int64_t yearOfEra = year - era * 400;
  int64_t monthFromMarch = time.month > 2 ? time.month - 3 : time.month + 9;
  int64_t dayOfYear = (153 * monthFromMarch + 2) / 5 + time.day - 1;
  int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  int64_t days = era * 146097 + dayOfEra - 719468;
  int64_t seconds = ((days * 24 + time.hour) * 60 + time.minute) * 60 + time.second;
  return seconds * 1000 + time.milliseconds;
}
