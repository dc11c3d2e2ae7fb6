#include "store/utc_time.h"

#include <cstdio>
#include <ctime>

std::string UtcTimeText(int64_t seconds) {
  time_t moment = static_cast<time_t>(seconds);
  struct tm parts = {};
  gmtime_r(&moment, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

bool ParseUtcTime(const std::string& text, int64_t& seconds) {
  struct tm parts = {};
  int consumed = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2dZ%n", &parts.tm_year, &parts.tm_mon,
                  &parts.tm_mday, &parts.tm_hour, &parts.tm_min, &parts.tm_sec, &consumed) != 6 ||
      static_cast<size_t>(consumed) != text.size()) {
    return false;
  }
  parts.tm_year -= 1900;
  parts.tm_mon -= 1;
  seconds = static_cast<int64_t>(timegm(&parts));
  return UtcTimeText(seconds) == text;
}
