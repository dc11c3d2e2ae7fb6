#include "task/task_schedule.h"

namespace {

constexpr uint32_t kPlatformWin32Nt = 2;

// The value of one draw, or 0 when the source failed.
unsigned int Draw(RandomDraw draw) {
  unsigned int value = 0;
  return draw(&value) ? value : 0;
}

wchar_t Digit(unsigned int value) { return static_cast<wchar_t>(L'0' + value); }

}  // namespace

std::wstring RepetitionIntervalText(int32_t frequency) {
  switch (RepetitionIntervalMinutes(frequency)) {
    case 60:
      return L"PT1H";
    case 120:
      return L"PT2H";
    default:
      return L"PT4H";
  }
}

int RepetitionIntervalMinutes(int32_t frequency) {
  // Negative frequencies are huge when taken as unsigned: four hours.
  uint32_t selector = static_cast<uint32_t>(frequency);
  if (selector <= 1) return 60;
  if (selector == 2) return 120;
  return 240;
}

std::wstring RandomStartBoundary(RandomDraw draw) {
  std::wstring boundary = L"2000-01-01T00:00:00Z";
  boundary[12] = Digit(Draw(draw) & 3);
  boundary[14] = Digit(Draw(draw) % 6);
  boundary[15] = Digit(Draw(draw) % 10);
  return boundary;
}

StartTime RandomStartTime(RandomDraw draw) {
  uint16_t hour = static_cast<uint16_t>(Draw(draw) & 3);
  uint16_t minute = static_cast<uint16_t>(Draw(draw) % 60);
  return StartTime{hour, minute};
}

int32_t SchedulerVersionFor(uint32_t platformId, uint32_t majorVersion) {
  return platformId == kPlatformWin32Nt && majorVersion >= 6 ? 2 : 1;
}
