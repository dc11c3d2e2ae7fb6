#pragma once

#include <string>

#include "common/byte_string.h"

// UTF-8 <-> UTF-16 conversions with code page 65001 and no flags: a first
// call asks for the size, a second converts. False when the platform refuses
// the text; the output is then unchanged.
bool Utf8ToWide(const char* text, std::wstring& wide);
bool WideToUtf8(const wchar_t* text, ByteString& utf8);
