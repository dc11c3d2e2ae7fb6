#pragma once

#include <cstdint>

// The service's memory between runs, under HKLM "SOFTWARE\Wendral\PlumixPlayer".
// Every operation opens and closes the key itself and logs nothing. A store
// that fails leaves the registry's error as the thread's last error.

// The key under HKEY_LOCAL_MACHINE, in the registry view of the program's build.
extern const wchar_t kUpdateStateKey[];

// Current UTC time as a FILETIME count.
uint64_t GetCurrentFileTime();
// True when more than 24 hours have passed since LastUpdateCheck (a missing
// value counts as 0).
bool IsUpdateCheckDue();
// Stores the current time, or 0 when reset is true.
bool StoreLastUpdateCheck(bool reset);
// LastUpdateCheck as stored, whatever its type; value is left unchanged when
// it cannot be read.
bool ReadLastUpdateCheck(uint64_t& value);
// Stores the given time as LastUpdateCheck.
bool StoreLastUpdateCheckTime(uint64_t value);
bool DeleteLastUpdateCheck();
// count is left unchanged when the value cannot be read.
bool ReadUpdateAttempts(uint32_t& count);
bool StoreUpdateAttempts(uint32_t count);
// Stores the count plus one (1 when missing).
bool IncrementUpdateAttempts();
// Deletes UpdateAttempts and, only when that succeeded, LastUpdateCheck.
bool DeleteUpdateState();
