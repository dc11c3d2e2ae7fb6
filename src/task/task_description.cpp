#include <windows.h>

#include "task/update_task.h"

namespace {
constexpr UINT kTaskDescriptionId = 110;
}

std::wstring LoadTaskDescription() {
  // A buffer size of 0 asks for a pointer to the resource's text itself, so
  // the whole text comes back whatever its length. The platform's lookup
  // picks the language that matches the user interface.
  const wchar_t* text = nullptr;
  int length = LoadStringW(GetModuleHandleW(nullptr), kTaskDescriptionId,
                           reinterpret_cast<LPWSTR>(&text), 0);
  if (length <= 0 || text == nullptr) return L"MISSING LOCALIZATION";
  return std::wstring(text, static_cast<size_t>(length));
}
