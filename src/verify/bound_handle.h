#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <cassert>

// Owner of a crypt32 object whose release function was looked up at run time
// (CryptFunctionTable), so it cannot be a static traits function. Move-only.
// Releasing keeps the calling thread's last-error value: a refusal's error
// number must survive the clean-up on the way out of the verifier.
template <typename Handle, typename Release>
class BoundHandle {
 public:
  explicit BoundHandle(Release release, Handle handle = nullptr) noexcept
      : release_(release), handle_(handle) {}
  ~BoundHandle() { reset(); }

  BoundHandle(BoundHandle&& other) noexcept : release_(other.release_), handle_(other.release()) {}
  BoundHandle& operator=(BoundHandle&& other) noexcept {
    if (this != &other) {
      reset(other.release());
      release_ = other.release_;
    }
    return *this;
  }
  BoundHandle(const BoundHandle&) = delete;
  BoundHandle& operator=(const BoundHandle&) = delete;

  Handle get() const noexcept { return handle_; }
  bool valid() const noexcept { return handle_ != nullptr; }

  // For calls that return the object through an out-parameter.
  Handle* receive() noexcept {
    assert(handle_ == nullptr);
    return &handle_;
  }

  Handle release() noexcept {
    Handle handle = handle_;
    handle_ = nullptr;
    return handle;
  }

  void reset(Handle handle = nullptr) noexcept {
    if (handle_ != nullptr) {
      DWORD lastError = GetLastError();
      Free(release_, handle_);
      SetLastError(lastError);
    }
    handle_ = handle;
  }

 private:
  template <typename Function, typename Object>
  static void Free(Function function, Object object) {
    function(object);
  }
  // A store is closed without forcing: contexts still held keep it alive.
  static void Free(decltype(&::CertCloseStore) function, HCERTSTORE store) { function(store, 0); }

  Release release_;
  Handle handle_;
};

using BoundCertificate = BoundHandle<PCCERT_CONTEXT, decltype(&::CertFreeCertificateContext)>;
using BoundCertificateStore = BoundHandle<HCERTSTORE, decltype(&::CertCloseStore)>;
using BoundCryptMessage = BoundHandle<HCRYPTMSG, decltype(&::CryptMsgClose)>;
