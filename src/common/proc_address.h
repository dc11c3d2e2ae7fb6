#pragma once

#include <windows.h>

// Looks up an exported function and gives it its real type; null when the
// module does not export it. The detour through void(*)() is the portable way
// to convert FARPROC without a cast-function-type warning.
template <typename Function>
Function LookUpFunction(HMODULE module, const char* name) {
  using Untyped = void (*)();
  return reinterpret_cast<Function>(reinterpret_cast<Untyped>(GetProcAddress(module, name)));
}
