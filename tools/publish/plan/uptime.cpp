#include "plan/uptime.h"

#include <algorithm>

#include "plan/plan_time.h"
#include "plan/seeded_draw.h"

namespace {

constexpr int kOfficeOpens = 8 * 60;
constexpr int kOfficeCloses = 18 * 60;
constexpr uint32_t kStartUpSpreadMinutes = 60;

// The first minute at or after `from` that is congruent to start modulo interval.
int64_t NextSlot(int64_t from, int startMinute, int interval) {
  return from + FloorMod(startMinute - from, interval);
}

}  // namespace

UptimeModel::UptimeModel(Uptime uptime, uint64_t seed) : uptime_(uptime), seed_(seed) {}

int UptimeModel::OfficeStartMinute(uint32_t client, int64_t day) const {
  uint32_t spread = DrawBelow(seed_, client, DrawPurpose::kBoot, static_cast<uint32_t>(day),
                              kStartUpSpreadMinutes);
  return kOfficeOpens + static_cast<int>(spread);
}

int64_t UptimeModel::NextFiring(uint32_t client, int startMinute, int interval, int64_t from,
                                int64_t end) const {
  if (uptime_ == Uptime::kAlways) return std::min(end, NextSlot(from, startMinute, interval));
  for (int64_t day = FloorDiv(from, kMinutesPerDay); day * kMinutesPerDay < end; ++day) {
    if (!IsWeekday(day)) continue;
    int64_t dayStart = day * kMinutesPerDay;
    int64_t on = std::max(from, dayStart + OfficeStartMinute(client, day));
    int64_t off = dayStart + kOfficeCloses;
    if (on >= off) continue;
    int64_t firing = NextSlot(on, startMinute, interval);
    if (firing < off) return std::min(end, firing);
  }
  return end;
}
