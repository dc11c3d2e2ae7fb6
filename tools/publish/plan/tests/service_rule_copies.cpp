// Copies of the service's schedule and due-test rules in the forms a plan
// could hide them in, each in use. The symbol check must refuse every one.
#include <cstdint>
#include <string>

#include "task/task_schedule.h"
#include "update/update_check_interval.h"

namespace {

int RepetitionIntervalMinutes(int32_t frequency) {
  uint32_t selector = static_cast<uint32_t>(frequency);
  return selector <= 1 ? 60 : selector == 2 ? 120 : 240;
}

int CopiedInterval(int32_t frequency) { return RepetitionIntervalMinutes(frequency); }

}  // namespace

static bool IsUpdateCheckDueAt(uint64_t lastUpdateCheck, uint64_t now, int) {
  return lastUpdateCheck + kUpdateCheckInterval <= now;
}

struct CopiedRules {
  static std::wstring RandomStartBoundary(RandomDraw draw);
};

std::wstring CopiedRules::RandomStartBoundary(RandomDraw) { return L"2000-01-01T00:00:00Z"; }

inline StartTime RandomStartTime(int hour) { return StartTime{static_cast<uint16_t>(hour & 3), 0}; }

int UseServiceRulesAndCopies(RandomDraw draw, int32_t frequency, uint64_t last, uint64_t now) {
  int real = ::RepetitionIntervalMinutes(frequency) + ::IsUpdateCheckDueAt(last, now) +
             static_cast<int>(::RandomStartBoundary(draw).size()) + RandomStartTime(draw).hour;
  int copied = CopiedInterval(frequency) + IsUpdateCheckDueAt(last, now, 0) +
               static_cast<int>(CopiedRules::RandomStartBoundary(draw).size()) +
               RandomStartTime(1).hour;
  return real + copied;
}
