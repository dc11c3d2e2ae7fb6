#include "clock_note.h"

#include "log_time.h"

namespace {

const char kPrefix[] = "plumix-log-reader: ";

bool Later(const LogTimestamp& time, const LogTimestamp& than) {
  return LogTimeMilliseconds(time) > LogTimeMilliseconds(than);
}

}  // namespace

bool FollowsAStoredCheck(int32_t code) {
  return code == 1301 || code == 1600 || code == 1601 || code == 1234 || code == 1300;
}

FutureEntries::FutureEntries(const LogTimestamp& now)
    : limit_(LogTimeMilliseconds(now) + kClockAheadToleranceMilliseconds) {}

void FutureEntries::Add(const LogEntry& entry) {
  if (!entry.parsed || LogTimeMilliseconds(entry.time) <= limit_) return;
  if (count_ == 0 || Later(entry.time, latest_)) latest_ = entry.time;
  ++count_;
  if (!entry.hasCode || !FollowsAStoredCheck(entry.code)) return;
  if (!haveCheck_ || Later(entry.time, latestCheck_)) {
    latestCheck_ = entry.time;
    checkCode_ = entry.code;
    haveCheck_ = true;
  }
}

std::string FutureEntries::Note() const {
  if (count_ == 0) return std::string();
  std::string note = kPrefix + std::to_string(count_) +
                     " entries are dated more than an hour after this computer's clock, the "
                     "latest at " + FormatIsoTime(latest_) +
                     ": the clock was ahead when they were written.\n";
  if (haveCheck_) {
    note += kPrefix + std::string("the service checked for updates at ") +
            FormatIsoTime(latestCheck_) + " (event " + std::to_string(checkCode_) +
            "), stored that time as LastUpdateCheck and checks again only 24 hours after it. "
            "With the clock right, run the service's program with -createDefaultTask (it "
            "stores 0) so that its next start checks.\n";
  } else {
    note += kPrefix + std::string("if the service fetched the manifest then, LastUpdateCheck "
            "holds a time in the future and no check comes until 24 hours after it: compare it "
            "with the clock and, if it lies ahead, run the service's program with "
            "-createDefaultTask (it stores 0).\n");
  }
  return note;
}
