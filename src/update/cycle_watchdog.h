#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "common/unique_handle.h"
#include "net/download_limits.h"

class DownloadFolder;

// Ends an update cycle that outlives its bounds, whatever call holds it: the
// whole cycle (bounds.cycleSeconds, event 1304) and, while one is armed, a
// network wait (its bound plus bounds.graceSeconds, event 1303). Both lines
// carry ERROR_TIMEOUT. The watchdog acts on its own thread, because the
// cycle's thread may be inside a call that never returns (under Wine a
// WinHTTP call returns neither at its time-out nor when its handle is
// closed): it removes the download folder the cycle has on disk, logs its
// line and calls endCycle, which in the service reports the service stopped
// and ends the process. Once it has acted it does nothing more. Time is the
// tick counter's, which a change of the clock does not move.
class CycleWatchdog {
 public:
  CycleWatchdog(const ServiceBounds& bounds, std::function<void()> endCycle);
  // Stops watching; the cycle returned.
  ~CycleWatchdog();
  CycleWatchdog(const CycleWatchdog&) = delete;
  CycleWatchdog& operator=(const CycleWatchdog&) = delete;

  // A network wait armed for as long as the object lives, counted from its
  // making. With no watchdog (the cycle is not watched) it does nothing.
  class NetworkWait {
   public:
    NetworkWait(CycleWatchdog* watchdog, uint32_t seconds);
    ~NetworkWait();
    NetworkWait(const NetworkWait&) = delete;
    NetworkWait& operator=(const NetworkWait&) = delete;

    // Moves the bound to seconds from the making of this wait.
    void Extend(uint32_t seconds);

   private:
    CycleWatchdog* watchdog_;
    uint64_t start_ = 0;
  };

  // The download folder the watchdog removes when it acts; one at a time.
  void Track(DownloadFolder* folder);
  void Untrack(DownloadFolder* folder);

 private:
  static constexpr uint64_t kNever = UINT64_MAX;

  // Milliseconds since the watchdog was made.
  uint64_t Elapsed() const;
  void SetWaitDeadline(uint64_t deadline);
  void Watch();
  void EndCycle(int32_t event);

  const DWORD start_;
  const uint64_t cycleDeadline_;
  const uint64_t graceMilliseconds_;
  std::function<void()> endCycle_;
  // Wakes the watch when a deadline changes or the watch is to stop.
  UniqueKernelHandle changed_;
  std::mutex lock_;
  uint64_t waitDeadline_ = kNever;
  DownloadFolder* folder_ = nullptr;
  bool stopping_ = false;
  // Last, so that everything it reads is made before it starts.
  std::thread thread_;
};
