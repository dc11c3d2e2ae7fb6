#include "support/com_balance.h"

#include <objbase.h>

ComBalanceCheck::ComBalanceCheck(DWORD apartment)
    : apartment_(apartment), entered_(CoInitializeEx(nullptr, apartment) == S_OK) {}

ComBalanceCheck::~ComBalanceCheck() {
  if (entered_) CoUninitialize();
}

bool ComBalanceCheck::LeftAsFound() {
  if (!entered_) return false;
  entered_ = false;
  // Still initialised: entering again answers S_FALSE.
  HRESULT again = CoInitializeEx(nullptr, apartment_);
  if (SUCCEEDED(again)) CoUninitialize();
  CoUninitialize();
  // Nothing left over: entering now answers S_OK.
  HRESULT fresh = CoInitializeEx(nullptr, apartment_);
  if (SUCCEEDED(fresh)) CoUninitialize();
  return again == S_FALSE && fresh == S_OK;
}
