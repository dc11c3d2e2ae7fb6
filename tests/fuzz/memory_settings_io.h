#pragma once

#include <string>

// The settings store's file operations (settings/settings_file_io.h) over
// files held in memory, so that a fuzzer can load and save without touching
// the disk. Reading opens the bytes stored under a path; writing goes to a
// temporary file that ReplaceFileWith moves over the path.

// Stores bytes as the whole file at path.
void SetMemoryFile(const std::string& path, const std::string& bytes);
// The bytes stored at path; false when there is no such file.
bool GetMemoryFile(const std::string& path, std::string& bytes);
// Forgets every file.
void ClearMemoryFiles();
