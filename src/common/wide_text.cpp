#include "common/wide_text.h"

#include <windows.h>

#include <vector>

bool Utf8ToWide(const char* text, std::wstring& wide) {
  int units = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  if (units <= 0) return false;
  std::vector<wchar_t> buffer(static_cast<size_t>(units));
  if (MultiByteToWideChar(CP_UTF8, 0, text, -1, buffer.data(), units) != units) return false;
  wide.assign(buffer.data(), static_cast<size_t>(units) - 1);
  return true;
}

bool WideToUtf8(const wchar_t* text, ByteString& utf8) {
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return false;
  std::vector<char> buffer(static_cast<size_t>(bytes));
  if (WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer.data(), bytes, nullptr, nullptr) != bytes)
    return false;
  utf8 = ByteString(buffer.data(), static_cast<size_t>(bytes) - 1);
  return true;
}
