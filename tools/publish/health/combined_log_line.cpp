#include "health/combined_log_line.h"

#include <charconv>

namespace {

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t year, int month, int day) {
  year -= month <= 2;
  int64_t era = (year >= 0 ? year : year - 399) / 400;
  int64_t yearOfEra = year - era * 400;
  int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

bool ReadDigits(std::string_view text, size_t at, size_t count, int& value) {
  if (at + count > text.size()) return false;
  value = 0;
  for (size_t index = at; index < at + count; ++index) {
    char digit = text[index];
    if (digit < '0' || digit > '9') return false;
    value = value * 10 + (digit - '0');
  }
  return true;
}

int MonthNumber(std::string_view name) {
  static const char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
  for (int month = 0; month < 12; ++month) {
    if (name == std::string_view(kMonths + 3 * month, 3)) return month + 1;
  }
  return 0;
}

// Takes the text up to the next space (or the end) from rest.
std::string_view TakeToken(std::string_view& rest) {
  size_t space = rest.find(' ');
  std::string_view token = rest.substr(0, space);
  rest.remove_prefix(space == std::string_view::npos ? rest.size() : space);
  return token;
}

bool TakeSeparator(std::string_view& rest, std::string_view separator) {
  if (rest.substr(0, separator.size()) != separator) return false;
  rest.remove_prefix(separator.size());
  return true;
}

// Takes a double-quoted field from the start of rest, without its quotes.
bool TakeQuoted(std::string_view& rest, std::string_view& field) {
  if (rest.empty() || rest[0] != '"') return false;
  for (size_t index = 1; index < rest.size(); ++index) {
    if (rest[index] == '\\') {
      ++index;
    } else if (rest[index] == '"') {
      field = rest.substr(1, index - 1);
      rest.remove_prefix(index + 1);
      return true;
    }
  }
  return false;
}

template <typename Number>
bool ReadNumber(std::string_view text, Number& value) {
  const char* end = text.data() + text.size();
  std::from_chars_result result = std::from_chars(text.data(), end, value);
  return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

// "GET /path?query HTTP/1.1" into method and path; anything else leaves both
// empty.
void SplitRequest(std::string_view request, LogRequest& parsed) {
  parsed.method = std::string_view();
  parsed.path = std::string_view();
  std::string_view method = TakeToken(request);
  if (!TakeSeparator(request, " ")) return;
  std::string_view target = TakeToken(request);
  if (!TakeSeparator(request, " ") || request.substr(0, 5) != "HTTP/") return;
  parsed.method = method;
  parsed.path = target.substr(0, target.find('?'));
}

}  // namespace

bool ParseLogTime(std::string_view text, int64_t& time) {
  // 10/Oct/2000:13:55:36 -0700
  int day = 0, year = 0, hour = 0, minute = 0, second = 0, offset = 0;
  if (text.size() != 26 || text[2] != '/' || text[6] != '/' || text[11] != ':' ||
      text[14] != ':' || text[17] != ':' || text[20] != ' ' ||
      (text[21] != '+' && text[21] != '-')) {
    return false;
  }
  int month = MonthNumber(text.substr(3, 3));
  if (month == 0 || !ReadDigits(text, 0, 2, day) || !ReadDigits(text, 7, 4, year) ||
      !ReadDigits(text, 12, 2, hour) || !ReadDigits(text, 15, 2, minute) ||
      !ReadDigits(text, 18, 2, second) || !ReadDigits(text, 22, 4, offset)) {
    return false;
  }
  if (day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) return false;
  int64_t offsetSeconds = (offset / 100) * 3600 + (offset % 100) * 60;
  if (text[21] == '-') offsetSeconds = -offsetSeconds;
  time = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second -
         offsetSeconds;
  return true;
}

bool ParseCombinedLine(std::string_view line, LogRequest& request) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  std::string_view rest = line;
  LogRequest parsed;
  parsed.address = TakeToken(rest);
  std::string_view identity, user, requestLine, status, bytes, referer;
  if (parsed.address.empty() || !TakeSeparator(rest, " ")) return false;
  identity = TakeToken(rest);
  if (identity.empty() || !TakeSeparator(rest, " ")) return false;
  user = TakeToken(rest);
  if (user.empty() || !TakeSeparator(rest, " [")) return false;
  size_t close = rest.find(']');
  if (close == std::string_view::npos || !ParseLogTime(rest.substr(0, close), parsed.time)) {
    return false;
  }
  rest.remove_prefix(close + 1);
  if (!TakeSeparator(rest, " ") || !TakeQuoted(rest, requestLine) || !TakeSeparator(rest, " ")) {
    return false;
  }
  status = TakeToken(rest);
  if (!TakeSeparator(rest, " ")) return false;
  bytes = TakeToken(rest);
  if (!ReadNumber(status, parsed.status) || !ReadNumber(bytes, parsed.bytesSent) ||
      !TakeSeparator(rest, " ") || !TakeQuoted(rest, referer) || !TakeSeparator(rest, " ") ||
      !TakeQuoted(rest, parsed.userAgent)) {
    return false;
  }
  if (!rest.empty() && rest[0] != ' ') return false;
  SplitRequest(requestLine, parsed);
  request = parsed;
  return true;
}
