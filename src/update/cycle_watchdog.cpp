#include "update/cycle_watchdog.h"

#include <algorithm>
#include <utility>

#include "log/install_log.h"
#include "net/download_folder.h"

CycleWatchdog::CycleWatchdog(const ServiceBounds& bounds, std::function<void()> endCycle)
    : grace_(bounds.graceSeconds),
      cycleDeadline_(Clock::now() + std::chrono::seconds(bounds.cycleSeconds)),
      endCycle_(std::move(endCycle)),
      thread_(&CycleWatchdog::Watch, this) {}

CycleWatchdog::~CycleWatchdog() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    stopping_ = true;
  }
  changed_.notify_one();
  thread_.join();
}

CycleWatchdog::NetworkWait::NetworkWait(CycleWatchdog* watchdog, uint32_t seconds)
    : watchdog_(watchdog), start_(Clock::now()) {
  Extend(seconds);
}

CycleWatchdog::NetworkWait::~NetworkWait() {
  if (watchdog_ != nullptr) watchdog_->SetWaitDeadline(Clock::time_point::max());
}

void CycleWatchdog::NetworkWait::Extend(uint32_t seconds) {
  if (watchdog_ == nullptr) return;
  watchdog_->SetWaitDeadline(start_ + std::chrono::seconds(seconds) + watchdog_->grace_);
}

void CycleWatchdog::Track(DownloadFolder* folder) {
  std::lock_guard<std::mutex> guard(lock_);
  folder_ = folder;
}

void CycleWatchdog::Untrack(DownloadFolder* folder) {
  std::lock_guard<std::mutex> guard(lock_);
  if (folder_ == folder) folder_ = nullptr;
}

void CycleWatchdog::SetWaitDeadline(Clock::time_point deadline) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    waitDeadline_ = deadline;
  }
  changed_.notify_one();
}

void CycleWatchdog::Watch() {
  std::unique_lock<std::mutex> lock(lock_);
  while (!stopping_) {
    Clock::time_point deadline = std::min(cycleDeadline_, waitDeadline_);
    changed_.wait_until(lock, deadline);
    if (stopping_) return;
    Clock::time_point now = Clock::now();
    if (now >= waitDeadline_) return EndCycle(1303);
    if (now >= cycleDeadline_) return EndCycle(1304);
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
