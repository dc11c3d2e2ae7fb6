#pragma once

#include <string>

// File helpers for tests that run against the real file system of the prefix.
std::string ReadFileBytes(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
bool FileExists(const std::wstring& path);
void RemoveTree(const std::wstring& path);
std::wstring NewTempFolder();

// The Windows system folder (CSIDL_SYSTEM) and the settings file under it.
std::wstring SystemFolder();
std::wstring SettingsFolder();
std::wstring SettingsFilePath();

// Gives a test the settings folder with no settings file in it, and removes
// what the test left there afterwards.
class ScopedSettingsFolder {
 public:
  ScopedSettingsFolder();
  ~ScopedSettingsFolder();
  void Write(const std::string& bytes) const;
  std::string Read() const;
  bool Exists() const;
};
