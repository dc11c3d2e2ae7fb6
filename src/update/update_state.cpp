#include "update/update_state.h"

#include <windows.h>

#include <cstring>

#include "common/unique_handle.h"
#include "update/update_check_interval.h"

// No registry-view flag: the 32-bit service lands in the 32-bit view on
// 64-bit Windows, where the rest of its registration lives.
const wchar_t kUpdateStateKey[] = L"SOFTWARE\\Wendral\\PlumixPlayer";

namespace {

const wchar_t kLastUpdateCheck[] = L"LastUpdateCheck";
const wchar_t kUpdateAttempts[] = L"UpdateAttempts";

bool OpenStateKey(REGSAM access, UniqueRegKey& key) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUpdateStateKey, 0, access, &opened) != ERROR_SUCCESS) {
    return false;
  }
  key.reset(opened);
  return true;
}

// Reads the value into the number whatever its type; a shorter value fills
// only its leading (low-order) bytes. The number is untouched on failure.
template <typename Number>
bool ReadNumber(HKEY key, const wchar_t* name, Number& number) {
  BYTE bytes[sizeof(Number)];
  DWORD read = sizeof(bytes);
  if (RegQueryValueExW(key, name, nullptr, nullptr, bytes, &read) != ERROR_SUCCESS) return false;
  std::memcpy(&number, bytes, read);
  return true;
}

// The registry answers with a status, not the thread's last error: a failure
// is handed on as the last error, for the caller that reports it.
bool StoreValue(const wchar_t* name, DWORD type, const void* data, DWORD size) {
  UniqueRegKey key;
  LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kUpdateStateKey, 0, nullptr, 0,
                                   KEY_SET_VALUE, nullptr, key.receive(), nullptr);
  if (status == ERROR_SUCCESS) {
    status = RegSetValueExW(key.get(), name, 0, type, static_cast<const BYTE*>(data), size);
  }
  key.reset();
  if (status == ERROR_SUCCESS) return true;
  SetLastError(static_cast<DWORD>(status));
  return false;
}

}  // namespace

uint64_t GetCurrentFileTime() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

bool IsUpdateCheckDue() {
  uint64_t now = GetCurrentFileTime();
  uint64_t last = 0;
  ReadLastUpdateCheck(last);
  return IsUpdateCheckDueAt(last, now);
}

bool StoreLastUpdateCheck(bool reset) {
  return StoreLastUpdateCheckTime(reset ? 0 : GetCurrentFileTime());
}

bool ReadLastUpdateCheck(uint64_t& value) {
  UniqueRegKey key;
  if (!OpenStateKey(KEY_READ, key)) return false;
  return ReadNumber(key.get(), kLastUpdateCheck, value);
}

bool StoreLastUpdateCheckTime(uint64_t value) {
  return StoreValue(kLastUpdateCheck, REG_QWORD, &value, sizeof(value));
}

bool DeleteLastUpdateCheck() {
  UniqueRegKey key;
  if (!OpenStateKey(KEY_SET_VALUE, key)) return false;
  return RegDeleteValueW(key.get(), kLastUpdateCheck) == ERROR_SUCCESS;
}

bool ReadUpdateAttempts(uint32_t& count) {
  UniqueRegKey key;
  if (!OpenStateKey(KEY_READ, key)) return false;
  return ReadNumber(key.get(), kUpdateAttempts, count);
}

bool StoreUpdateAttempts(uint32_t count) {
  return StoreValue(kUpdateAttempts, REG_DWORD, &count, sizeof(count));
}

bool IncrementUpdateAttempts() {
  uint32_t count = 0;
  // Unsigned arithmetic: 4294967295 attempts wrap to 0.
  return StoreUpdateAttempts(ReadUpdateAttempts(count) ? count + 1 : 1);
}

bool DeleteUpdateState() {
  UniqueRegKey key;
  if (!OpenStateKey(KEY_SET_VALUE, key)) return false;
  bool deleted = RegDeleteValueW(key.get(), kUpdateAttempts) == ERROR_SUCCESS;
  key.reset();
  // Without UpdateAttempts there is nothing to reset, so LastUpdateCheck stays.
  return deleted && DeleteLastUpdateCheck();
}
