#pragma once

#include <cstddef>
#include <cstdint>

// The texts the executable's string tables must hold, per language: entry 110
// (the task description) and entry 120 (the service description).
struct LocalizedTexts {
  uint16_t language;
  const wchar_t* taskDescription;
  const wchar_t* serviceDescription;
};

constexpr std::size_t kLocalizedTextCount = 16;
extern const LocalizedTexts kLocalizedTexts[kLocalizedTextCount];

// Entry 110 in English (United States), the language of the test prefix.
const wchar_t* EnglishTaskDescription();
