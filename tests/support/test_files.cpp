#include "support/test_files.h"

#include <windows.h>
#include <shlobj.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

std::string ReadFileBytes(const std::wstring& path) {
  std::ifstream in(fs::path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  std::ofstream out(fs::path(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

bool FileExists(const std::wstring& path) {
  std::error_code error;
  return fs::exists(fs::path(path), error);
}

void RemoveTree(const std::wstring& path) {
  std::error_code error;
  fs::remove_all(fs::path(path), error);
}

std::wstring NewTempFolder() {
  wchar_t base[MAX_PATH];
  GetTempPathW(MAX_PATH, base);
  GUID guid;
  CoCreateGuid(&guid);
  wchar_t name[64];
  StringFromGUID2(guid, name, 64);
  std::wstring folder = std::wstring(base) + L"plumix-test-" + name;
  fs::create_directories(fs::path(folder));
  return folder;
}

std::wstring SystemFolder() {
  wchar_t folder[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_SYSTEM, nullptr, 0, folder);
  return folder;
}

std::wstring SettingsFolder() { return SystemFolder() + L"\\Oskvar\\Plumix"; }

std::wstring SettingsFilePath() { return SettingsFolder() + L"\\ksm.cfg"; }

ScopedSettingsFolder::ScopedSettingsFolder() {
  RemoveTree(SettingsFolder());
  fs::create_directories(fs::path(SettingsFolder()));
}

ScopedSettingsFolder::~ScopedSettingsFolder() { RemoveTree(SettingsFolder()); }

void ScopedSettingsFolder::Write(const std::string& bytes) const {
  WriteFileBytes(SettingsFilePath(), bytes);
}

std::string ScopedSettingsFolder::Read() const { return ReadFileBytes(SettingsFilePath()); }

bool ScopedSettingsFolder::Exists() const { return FileExists(SettingsFilePath()); }
