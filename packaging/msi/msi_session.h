#pragma once

#include <windows.h>

#include <msi.h>
#include <msiquery.h>

#include <string>

#include "common/unique_handle.h"

struct MsiHandleTraits {
  using Handle = MSIHANDLE;
  static Handle Invalid() { return 0; }
  static BOOL Close(Handle h) { return ::MsiCloseHandle(h) == ERROR_SUCCESS; }
};
using UniqueMsiHandle = UniqueHandle<MsiHandleTraits>;

// The installation that called a custom action: its properties and its log.
class MsiSession {
 public:
  explicit MsiSession(MSIHANDLE install) : install_(install) {}

  // The property's value; empty when it is not set or cannot be read.
  std::wstring Property(const wchar_t* name) const;

  // ERROR_SUCCESS, or why the property could not be set.
  UINT SetProperty(const wchar_t* name, const std::wstring& value) const;

  // A line of the installation log.
  void Note(const std::wstring& text) const;

  // An error: in the log, and in a message box when the installation shows
  // its user interface.
  void Error(const std::wstring& text) const;

 private:
  void Message(INSTALLMESSAGE kind, const std::wstring& text) const;

  MSIHANDLE install_;
};
