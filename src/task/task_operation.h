#pragma once

#include <windows.h>
#include <objbase.h>

#include <cstdint>

#include "log/install_log.h"

// What the two scheduler versions share around their work: COM is entered
// and left exactly once per operation, every interface is released before
// COM is left, and a failure's Windows error number is read at the moment the
// event needs.

// What a sequence of steps returns: the failing step's event code, or this
// when every step succeeded.
constexpr int32_t kStepsDone = 0;

// How the body of a task operation ended.
struct TaskOutcome {
  bool result;
  // An Error event whose error number is still to be read and written once
  // the body's interfaces are gone; 0 when there is none.
  int32_t pendingEvent;

  static TaskOutcome Finished(bool result) { return TaskOutcome{result, 0}; }
  static TaskOutcome FailedWith(int32_t event) { return TaskOutcome{false, event}; }
  // Writes the Error line now, with the error number as it is at this call.
  static TaskOutcome FailedNow(int32_t event) {
    LogEventLastError(LogLevel::Error, event);
    return TaskOutcome{false, 0};
  }
};

// When a pending event's error number is read: with COM still initialised
// (Task Scheduler 2.0) or once it has been uninitialised (Task Scheduler 1.0).
enum class ErrorNumberMoment { BeforeUninitialize, AfterUninitialize };

// One successful CoInitialize(Ex) of the calling thread, undone once.
class ComInitialization {
 public:
  ComInitialization() = default;
  ~ComInitialization() { Uninitialize(); }
  ComInitialization(const ComInitialization&) = delete;
  ComInitialization& operator=(const ComInitialization&) = delete;

  void Uninitialize() noexcept {
    if (!active_) return;
    active_ = false;
    CoUninitialize();
  }

 private:
  bool active_ = true;
};

// Runs a task operation in the apartment that `initialized` reports on (the
// HRESULT of the CoInitialize call just made). A negative HRESULT writes
// `initializeEvent` with the error number at once and gives false: COM was
// not entered, so it is not left. Otherwise the body runs and releases its
// interfaces as it returns; then the pending event is written at `moment`,
// and COM is left exactly once, also when the body runs out of memory.
template <typename Body>
bool RunTaskOperation(HRESULT initialized, int32_t initializeEvent, ErrorNumberMoment moment,
                      Body body) {
  if (FAILED(initialized)) {
    LogEventLastError(LogLevel::Error, initializeEvent);
    return false;
  }
  ComInitialization com;
  TaskOutcome outcome = body();
  bool pending = outcome.pendingEvent != 0;
  if (pending && moment == ErrorNumberMoment::BeforeUninitialize) {
    LogEventLastError(LogLevel::Error, outcome.pendingEvent);
  }
  com.Uninitialize();
  if (pending && moment == ErrorNumberMoment::AfterUninitialize) {
    LogEventLastError(LogLevel::Error, outcome.pendingEvent);
  }
  return outcome.result;
}
