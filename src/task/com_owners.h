#pragma once

#include <windows.h>
#include <oleauto.h>

#include <new>

// Owners of the string and variant arguments of COM calls: each call gets a
// freshly allocated BSTR that is freed when the owner goes, right after the
// call. Allocation failure is out of memory (std::bad_alloc), so no call is
// ever made with a missing string.

class UniqueBstr {
 public:
  explicit UniqueBstr(const wchar_t* text) : bstr_(SysAllocString(text)) {
    if (bstr_ == nullptr) throw std::bad_alloc();
  }
  ~UniqueBstr() { SysFreeString(bstr_); }
  UniqueBstr(const UniqueBstr&) = delete;
  UniqueBstr& operator=(const UniqueBstr&) = delete;

  BSTR get() const noexcept { return bstr_; }

 private:
  BSTR bstr_;
};

// A VARIANT argument: empty (VT_EMPTY) or holding its own BSTR (VT_BSTR).
class UniqueVariant {
 public:
  UniqueVariant() noexcept { VariantInit(&variant_); }
  explicit UniqueVariant(const wchar_t* text) : UniqueVariant() {
    BSTR value = SysAllocString(text);
    if (value == nullptr) throw std::bad_alloc();
    variant_.vt = VT_BSTR;
    variant_.bstrVal = value;
  }
  ~UniqueVariant() { VariantClear(&variant_); }
  UniqueVariant(const UniqueVariant&) = delete;
  UniqueVariant& operator=(const UniqueVariant&) = delete;

  // By value, as the interfaces take it; the owner keeps what it holds.
  VARIANT get() const noexcept { return variant_; }

 private:
  VARIANT variant_;
};
