#include "support/registry_keys.h"

#include "common/unique_handle.h"

namespace {

bool OpenKey(const std::wstring& subkey, REGSAM access, UniqueRegKey& key) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, access, &opened) != ERROR_SUCCESS) {
    return false;
  }
  key.reset(opened);
  return true;
}

}  // namespace

bool SetRegistryValue(const std::wstring& subkey, const wchar_t* name, DWORD type,
                      const void* data, DWORD size, REGSAM view) {
  HKEY created = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view,
                      nullptr, &created, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  UniqueRegKey key(created);
  return RegSetValueExW(key.get(), name, 0, type, static_cast<const BYTE*>(data), size) ==
         ERROR_SUCCESS;
}

bool GetRegistryValue(const std::wstring& subkey, const wchar_t* name, std::string& bytes,
                      DWORD& type, REGSAM view) {
  UniqueRegKey key;
  if (!OpenKey(subkey, KEY_QUERY_VALUE | view, key)) return false;
  DWORD size = 0;
  if (RegQueryValueExW(key.get(), name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) {
    return false;
  }
  bytes.assign(size, '\0');
  return RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&bytes[0]),
                          &size) == ERROR_SUCCESS;
}

bool RegistryKeyExists(const std::wstring& subkey, REGSAM view) {
  UniqueRegKey key;
  return OpenKey(subkey, KEY_QUERY_VALUE | view, key);
}

ScopedRegistryKey::ScopedRegistryKey(std::wstring subkey, REGSAM view)
    : subkey_(std::move(subkey)), view_(view) {
  Delete();
}

ScopedRegistryKey::~ScopedRegistryKey() { Delete(); }

void ScopedRegistryKey::Delete() const {
  RegDeleteKeyExW(HKEY_LOCAL_MACHINE, subkey_.c_str(), view_, 0);
  size_t parentEnd = subkey_.rfind(L'\\');
  if (parentEnd == std::wstring::npos) return;
  // Fails, as it should, while the parent still has other subkeys.
  RegDeleteKeyExW(HKEY_LOCAL_MACHINE, subkey_.substr(0, parentEnd).c_str(), view_, 0);
}
