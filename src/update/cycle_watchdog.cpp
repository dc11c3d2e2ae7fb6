#include "update/cycle_watchdog.h"

#include <algorithm>
#include <utility>

#include "log/install_log.h"
#include "net/download_folder.h"

CycleWatchdog::CycleWatchdog(const ServiceBounds& bounds, std::function<void()> endCycle)
    : start_(GetTickCount()),
      cycleDeadline_(uint64_t{bounds.cycleSeconds} * kMillisecondsPerSecond),
      graceMilliseconds_(uint64_t{bounds.graceSeconds} * kMillisecondsPerSecond),
      endCycle_(std::move(endCycle)),
      changed_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      thread_(&CycleWatchdog::Watch, this) {}

CycleWatchdog::~CycleWatchdog() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    stopping_ = true;
  }
  SetEvent(changed_.get());
  thread_.join();
}

CycleWatchdog::NetworkWait::NetworkWait(CycleWatchdog* watchdog, uint32_t seconds)
    : watchdog_(watchdog) {
  if (watchdog_ == nullptr) return;
  start_ = watchdog_->Elapsed();
  Extend(seconds);
}

CycleWatchdog::NetworkWait::~NetworkWait() {
  if (watchdog_ != nullptr) watchdog_->SetWaitDeadline(kNever);
}

void CycleWatchdog::NetworkWait::Extend(uint32_t seconds) {
  if (watchdog_ == nullptr) return;
  watchdog_->SetWaitDeadline(start_ + uint64_t{seconds} * kMillisecondsPerSecond +
                             watchdog_->graceMilliseconds_);
}

void CycleWatchdog::Track(DownloadFolder* folder) {
  std::lock_guard<std::mutex> guard(lock_);
  folder_ = folder;
}

void CycleWatchdog::Untrack(DownloadFolder* folder) {
  std::lock_guard<std::mutex> guard(lock_);
  if (folder_ == folder) folder_ = nullptr;
}

// The tick counter wraps after 49 days, far beyond any bound, so the
// difference of two readings stays right.
uint64_t CycleWatchdog::Elapsed() const { return GetTickCount() - start_; }

void CycleWatchdog::SetWaitDeadline(uint64_t deadline) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    waitDeadline_ = deadline;
  }
  SetEvent(changed_.get());
}

void CycleWatchdog::Watch() {
  for (;;) {
    DWORD timeout;
    {
      std::lock_guard<std::mutex> guard(lock_);
      if (stopping_) return;
      const uint64_t now = Elapsed();
      if (now >= waitDeadline_) return EndCycle(1303);
      if (now >= cycleDeadline_) return EndCycle(1304);
      timeout = static_cast<DWORD>(std::min(waitDeadline_, cycleDeadline_) - now);
    }
    WaitForSingleObject(changed_.get(), timeout);
  }
}

// Runs with the lock held, so the cycle's thread cannot destroy the tracked
// folder meanwhile: its destructor untracks it first.
void CycleWatchdog::EndCycle(int32_t event) {
  if (folder_ != nullptr) folder_->Abandon();
  SetLastError(ERROR_TIMEOUT);
  LogEventLastError(LogLevel::Error, event);
  endCycle_();
}
