#pragma once

#include <windows.h>

#include <string>

// Raw registry access for tests, in the view this process sees unless a
// view flag is given.

// Writes a value of any type with exactly these bytes, creating the key.
bool SetRegistryValue(const std::wstring& subkey, const wchar_t* name, DWORD type,
                      const void* data, DWORD size, REGSAM view = 0);
// Whether the value exists, and its bytes and type when it does.
bool GetRegistryValue(const std::wstring& subkey, const wchar_t* name, std::string& bytes,
                      DWORD& type, REGSAM view = 0);
bool RegistryKeyExists(const std::wstring& subkey, REGSAM view = 0);

// Gives a test an HKLM key that does not exist, and deletes it (with its
// parent, when that is left empty) afterwards.
class ScopedRegistryKey {
 public:
  explicit ScopedRegistryKey(std::wstring subkey, REGSAM view = 0);
  ~ScopedRegistryKey();
  ScopedRegistryKey(const ScopedRegistryKey&) = delete;
  ScopedRegistryKey& operator=(const ScopedRegistryKey&) = delete;

 private:
  void Delete() const;
  std::wstring subkey_;
  REGSAM view_;
};
