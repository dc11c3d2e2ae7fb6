#include "health/release_traffic.h"

#include <algorithm>
#include <cstdio>

namespace {

// A package logged this long after the address's last manifest fetch still
// follows it: nginx logs a request when it ends, and the service gives a
// download up to two hours.
constexpr int64_t kFollowSeconds = 3 * 3600;

int Index(Cohort cohort) { return static_cast<int>(cohort); }

// Days from 1970-01-01 to a civil date, inverted.
void CivilFromDays(int64_t days, int64_t& year, unsigned& month, unsigned& day) {
  days += 719468;
  int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
  unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  unsigned monthIndex = (5 * dayOfYear + 2) / 153;
  day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
  month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
  year = static_cast<int64_t>(yearOfEra) + era * 400 + (month <= 2);
}

}  // namespace

const char* CohortName(Cohort cohort) {
  return cohort == Cohort::kCandidate ? "candidate" : "control";
}

int64_t DayOf(int64_t time) { return (time >= 0 ? time : time - 86399) / 86400; }

std::string DayText(int64_t day) {
  int64_t year = 0;
  unsigned month = 0, dayOfMonth = 0;
  CivilFromDays(day, year, month, dayOfMonth);
  char text[32];
  std::snprintf(text, sizeof text, "%04lld-%02u-%02u", static_cast<long long>(year), month,
                dayOfMonth);
  return text;
}

ReleaseTrafficTally::ReleaseTrafficTally(int64_t signalStart, const ServedPackageSizes& sizes)
    : signalStart_(signalStart), sizes_(sizes) {}

void ReleaseTrafficTally::OpenRecord(Track& track, int64_t day, Cohort cohort, bool inSignal) {
  bool fresh = track.day < 0;
  bool sameDay = !fresh && day == track.day && cohort == track.cohort;
  if (!fresh) CloseRecord(track);
  if (!fresh && cohort != track.cohort) track.downloads = 0;  // another release's downloads
  if (!sameDay) ++days_[{day, cohort}].addresses;
  track.day = day;
  track.cohort = cohort;
  track.inSignal = inSignal;
}

void ReleaseTrafficTally::AddManifestFetch(const std::string& key, Cohort cohort, int64_t time) {
  Track& track = tracks_[key];
  int64_t day = std::max(DayOf(time), track.day);  // a line slightly out of order stays in its day
  bool inSignal = time >= signalStart_;
  if (track.day < 0 || day != track.day || cohort != track.cohort || inSignal != track.inSignal) {
    OpenRecord(track, day, cohort, inSignal);
  }
  ++track.fetches;
  ++track.pending;
  track.lastFetch = time;
  ++days_[{day, cohort}].fetches;
  uint8_t bit = static_cast<uint8_t>(1u << Index(cohort));
  if (inSignal && !(track.signalSeen & bit)) {
    track.signalSeen |= bit;
    ++signal_[Index(cohort)].addresses;
  }
}

void ReleaseTrafficTally::AddPackageDownload(const std::string& key, Cohort cohort, int64_t time,
                                             int slot, uint64_t bytesSent) {
  DayFigures& figures = days_[{DayOf(time), cohort}];
  ++figures.begun;
  uint64_t size = sizes_.bytes[Index(cohort)][slot];
  if (size != 0 && bytesSent == size) ++figures.completed;
  auto found = tracks_.find(key);
  if (found == tracks_.end()) return;
  Track& track = found->second;
  if (track.pending > 0 && track.cohort == cohort && time - track.lastFetch <= kFollowSeconds) {
    --track.pending;
    ++track.followed;
  }
}

void ReleaseTrafficTally::CloseRecord(Track& track) {
  track.peakFetches = std::max(track.peakFetches, track.fetches);
  uint32_t repeats = 0;
  if (track.followed == track.fetches) {
    uint32_t firstsLeft =
        track.peakFetches > track.downloads ? track.peakFetches - track.downloads : 0;
    repeats = track.followed > firstsLeft ? track.followed - firstsLeft : 0;
  }
  DayFigures& figures = days_[{track.day, track.cohort}];
  figures.followed += track.followed;
  if (track.inSignal) {
    figures.signalFetches += track.fetches;
    figures.repeats += repeats;
    SignalFigures& signal = signal_[Index(track.cohort)];
    signal.fetches += track.fetches;
    signal.repeats += repeats;
  }
  track.downloads += track.followed;
  track.fetches = track.followed = track.pending = 0;
}

void ReleaseTrafficTally::Finish() {
  for (auto& entry : tracks_) {
    if (entry.second.fetches > 0) CloseRecord(entry.second);
  }
}
