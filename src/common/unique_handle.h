#pragma once

#include <windows.h>
#include <winhttp.h>

#include <cassert>

// One move-only owner for every kind of Win32 handle. A traits type names the
// handle type, its invalid value and the function that closes it. Nothing else
// in the program closes these handles.
template <typename Traits>
class UniqueHandle {
 public:
  using Handle = typename Traits::Handle;

  UniqueHandle() noexcept : handle_(Traits::Invalid()) {}
  explicit UniqueHandle(Handle handle) noexcept : handle_(handle) {}
  ~UniqueHandle() { reset(); }

  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  Handle get() const noexcept { return handle_; }
  bool valid() const noexcept { return handle_ != Traits::Invalid(); }

  Handle release() noexcept {
    Handle handle = handle_;
    handle_ = Traits::Invalid();
    return handle;
  }

  void reset(Handle handle = Traits::Invalid()) noexcept {
    if (valid()) Traits::Close(handle_);
    handle_ = handle;
  }

  // Closes the handle now and reports whether the platform accepted the close.
  bool Close() noexcept {
    if (!valid()) return true;
    return Traits::Close(release()) != 0;
  }

  // For APIs that return the handle through an out-parameter.
  Handle* receive() noexcept {
    assert(!valid());
    return &handle_;
  }

 private:
  Handle handle_;
};

struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return nullptr; }
  static BOOL Close(Handle h) { return ::CloseHandle(h); }
};

struct FileHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static BOOL Close(Handle h) { return ::CloseHandle(h); }
};

struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static BOOL Close(Handle h) { return ::FindClose(h); }
};

struct RegKeyTraits {
  using Handle = HKEY;
  static Handle Invalid() { return nullptr; }
  static BOOL Close(Handle h) { return ::RegCloseKey(h) == ERROR_SUCCESS; }
};

struct ServiceHandleTraits {
  using Handle = SC_HANDLE;
  static Handle Invalid() { return nullptr; }
  static BOOL Close(Handle h) { return ::CloseServiceHandle(h); }
};

struct WinHttpHandleTraits {
  using Handle = HINTERNET;
  static Handle Invalid() { return nullptr; }
  static BOOL Close(Handle h) { return ::WinHttpCloseHandle(h); }
};

struct ModuleHandleTraits {
  using Handle = HMODULE;
  static Handle Invalid() { return nullptr; }
  static BOOL Close(Handle h) { return ::FreeLibrary(h); }
};

using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueFileHandle = UniqueHandle<FileHandleTraits>;
using UniqueFindHandle = UniqueHandle<FindHandleTraits>;
using UniqueRegKey = UniqueHandle<RegKeyTraits>;
using UniqueServiceHandle = UniqueHandle<ServiceHandleTraits>;
using UniqueWinHttpHandle = UniqueHandle<WinHttpHandleTraits>;
using UniqueModule = UniqueHandle<ModuleHandleTraits>;
