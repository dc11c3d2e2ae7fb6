#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <utility>

#include "tree/release_layout.h"

// Which release an address was served when it asked: the rollout's
// candidate, or the current release (the control cohort).
enum class Cohort : uint8_t { kControl = 0, kCandidate = 1 };
constexpr int kCohortCount = 2;
const char* CohortName(Cohort cohort);

// What one cohort did on one day (UTC).
struct DayFigures {
  uint64_t addresses = 0;  // distinct cohort keys that fetched the manifest
  uint64_t fetches = 0;    // manifest fetches
  uint64_t begun = 0;      // package downloads begun
  uint64_t completed = 0;  // package downloads whose bytes sent equal the package's size
  uint64_t followed = 0;   // manifest fetches followed by a download from the same address
  // Of the fetches made after the cohort's first full day with the candidate:
  uint64_t signalFetches = 0;
  uint64_t repeats = 0;  // followed by a download that no machine's first can explain
};

// The signal of a release that does not take, over every fetch a cohort
// made after its first full day with the candidate.
struct SignalFigures {
  uint64_t addresses = 0;  // distinct cohort keys with such a fetch
  uint64_t fetches = 0;
  uint64_t repeats = 0;
  double RepeatPercent() const { return fetches == 0 ? 0 : 100.0 * repeats / fetches; }
};

// The package sizes of the release each cohort is served, by package slot;
// 0 where unknown (no download then counts as completed).
struct ServedPackageSizes {
  uint64_t bytes[kCohortCount][kPackageCount] = {};
};

// Counts the service's requests per day and cohort, streaming: memory grows
// with the number of distinct cohort keys, not with the requests.
//
// Each machine fetches the manifest at most once in 24 hours, and when the
// manifest announces a newer version it downloads the package right after.
// A release that takes leaves each machine downloading once; one that does
// not take makes it download at every due check. Many machines can share an
// address (an office NAT): there a download on a later day may be another
// machine's first. So, per key and day, downloads count as repeats only
//  - when every fetch of that day was followed by one: a fetch without a
//    download shows a machine there that has the announced version, so the
//    release takes there and the day's downloads are other machines' first;
//  - and only as far as the key's downloads in its cohort so far exceed the
//    machines seen behind it (the most fetches it made in one day).
// Requests must come in time order (a few seconds' disorder is harmless).
class ReleaseTrafficTally {
 public:
  // signalStart: fetches from this time on count towards the signal (the
  // rollout's start plus a full day).
  ReleaseTrafficTally(int64_t signalStart, const ServedPackageSizes& sizes);

  void AddManifestFetch(const std::string& key, Cohort cohort, int64_t time);
  void AddPackageDownload(const std::string& key, Cohort cohort, int64_t time, int slot,
                          uint64_t bytesSent);
  // Closes every key's open day; call once after the last request.
  void Finish();

  // By (day number since 1970-01-01, cohort).
  const std::map<std::pair<int64_t, Cohort>, DayFigures>& Days() const { return days_; }
  const SignalFigures& Signal(Cohort cohort) const {
    return signal_[static_cast<int>(cohort)];
  }

 private:
  // One key's open record: its fetches of one day in one cohort, on one side
  // of the signal's start.
  struct Track {
    int64_t day = -1;
    Cohort cohort = Cohort::kControl;
    bool inSignal = false;
    uint8_t signalSeen = 0;  // a bit per cohort: counted in its signal's addresses
    uint32_t fetches = 0;
    uint32_t followed = 0;
    uint32_t pending = 0;  // fetches of the record not yet followed by a download
    int64_t lastFetch = 0;
    uint32_t peakFetches = 0;  // most fetches in one day: machines behind the key
    uint32_t downloads = 0;    // followed downloads in this cohort before the record
  };
  // Closes the key's open record, if any, and opens one for day, cohort and
  // side of the signal's start.
  void OpenRecord(Track& track, int64_t day, Cohort cohort, bool inSignal);
  void CloseRecord(Track& track);

  int64_t signalStart_;
  ServedPackageSizes sizes_;
  std::unordered_map<std::string, Track> tracks_;
  std::map<std::pair<int64_t, Cohort>, DayFigures> days_;
  SignalFigures signal_[kCohortCount];
};

// Day number since 1970-01-01 of a time, and the "YYYY-MM-DD" text of one.
int64_t DayOf(int64_t time);
std::string DayText(int64_t day);
