#pragma once

#include <windows.h>

// Checks that an operation leaves COM on the calling thread exactly as often
// as it enters it. The check enters COM first in the given apartment
// (COINIT_MULTITHREADED or COINIT_APARTMENTTHREADED), so an operation that
// leaves once too often is seen as well as one that stays.
class ComBalanceCheck {
 public:
  explicit ComBalanceCheck(DWORD apartment);
  ~ComBalanceCheck();
  ComBalanceCheck(const ComBalanceCheck&) = delete;
  ComBalanceCheck& operator=(const ComBalanceCheck&) = delete;

  // Whether the check's own initialisation is the only one left; ends it.
  bool LeftAsFound();

 private:
  DWORD apartment_;
  bool entered_;
};
