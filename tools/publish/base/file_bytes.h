#pragma once

#include <cstdint>
#include <string>

// Reads a whole regular file. False, with the reason in error, for a file
// that cannot be opened or read, that is larger than limit bytes (the file is
// then not read at all), or that is no regular file: a named pipe or a device
// is refused without being opened.
bool ReadFileBytes(const std::string& path, uint64_t limit, std::string& bytes, std::string& error);

// Whether path is a regular file, found without opening it; false, with the
// reason (no such file, a named pipe, a device...), otherwise.
bool IsRegularFile(const std::string& path, std::string& error);
