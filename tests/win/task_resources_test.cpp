#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "resource_texts.h"
#include "task/update_task.h"

// The resources this test program carries are those of the service
// executable; they are read here per language, as stored.

namespace {

constexpr UINT kTaskDescriptionId = 110;
constexpr UINT kServiceDescriptionId = 120;

// Entry `id` of the string block of one language, exactly as stored: the
// block holds 16 counted strings; the count is in UTF-16 units.
bool ReadStringResource(UINT id, WORD language, std::wstring& text) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC block = FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW(id / 16 + 1), language);
  if (block == nullptr) return false;
  const WCHAR* entry = static_cast<const WCHAR*>(LockResource(LoadResource(module, block)));
  const WCHAR* end = entry + SizeofResource(module, block) / sizeof(WCHAR);
  for (UINT skipped = 0; skipped < id % 16 && entry < end; ++skipped) entry += 1 + *entry;
  if (entry >= end || entry + 1 + *entry > end) return false;
  text.assign(entry + 1, *entry);
  return true;
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR languages) {
  reinterpret_cast<std::set<WORD>*>(languages)->insert(language);
  return TRUE;
}

std::set<WORD> LanguagesOfBlock(UINT id) {
  std::set<WORD> languages;
  EnumResourceLanguagesW(GetModuleHandleW(nullptr), RT_STRING, MAKEINTRESOURCEW(id / 16 + 1),
                         CollectLanguage, reinterpret_cast<LONG_PTR>(&languages));
  return languages;
}

}  // namespace

TEST(TaskResources, EveryLanguageHoldsBothTextsExactly) {
  for (const LocalizedTexts& expected : kLocalizedTexts) {
    std::wstring task, service;
    ASSERT_TRUE(ReadStringResource(kTaskDescriptionId, expected.language, task)) << expected.language;
    ASSERT_TRUE(ReadStringResource(kServiceDescriptionId, expected.language, service)) << expected.language;
    EXPECT_EQ(expected.taskDescription, task) << expected.language;
    EXPECT_EQ(expected.serviceDescription, service) << expected.language;
  }
}

TEST(TaskResources, TheStringTablesHoldTheSixteenLanguagesOnly) {
  std::set<WORD> expected;
  for (const LocalizedTexts& texts : kLocalizedTexts) expected.insert(texts.language);
  EXPECT_EQ(16u, expected.size());
  EXPECT_EQ(expected, LanguagesOfBlock(kTaskDescriptionId));
  EXPECT_EQ(expected, LanguagesOfBlock(kServiceDescriptionId));
}

TEST(TaskResources, SpanishJoinsTheProductNameWithNoBreakSpaces) {
  const WORD spanish = MAKELANGID(LANG_SPANISH, SUBLANG_SPANISH_MODERN);
  const std::wstring joined = L"Quorvel\u00A0Plumix\u00A0Player";
  std::wstring task, service;
  ASSERT_TRUE(ReadStringResource(kTaskDescriptionId, spanish, task));
  ASSERT_TRUE(ReadStringResource(kServiceDescriptionId, spanish, service));
  size_t first = task.find(joined);
  ASSERT_NE(std::wstring::npos, first);
  EXPECT_NE(std::wstring::npos, task.find(joined, first + 1));
  EXPECT_NE(std::wstring::npos, service.find(joined));
  EXPECT_EQ(std::wstring::npos, task.find(L"Quorvel Plumix"));
}

TEST(TaskResources, TaskDescriptionIsTheWholeTextOfTheInterfaceLanguage) {
  ASSERT_EQ(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), GetUserDefaultUILanguage());
  EXPECT_EQ(EnglishTaskDescription(), LoadTaskDescription());
}

TEST(TaskResources, ManifestRequestsAdministratorRights) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC manifest = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
  ASSERT_NE(nullptr, manifest);
  const char* bytes = static_cast<const char*>(LockResource(LoadResource(module, manifest)));
  std::string text(bytes, SizeofResource(module, manifest));
  EXPECT_NE(std::string::npos, text.find("<requestedExecutionLevel level=\"requireAdministrator\""));
}
