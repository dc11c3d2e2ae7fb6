#include "support/open_handles.h"

#include <windows.h>

#include <cstdint>

namespace {

// Handle values are multiples of 4; a test process stays far below this.
constexpr uintptr_t kHighestHandleValue = 1 << 16;

}  // namespace

size_t OpenHandleCount() {
  size_t count = 0;
  for (uintptr_t value = 4; value <= kHighestHandleValue; value += 4) {
    DWORD flags = 0;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
  }
  return count;
}
