#pragma once

#include <cstdint>
#include <string>

// Reads a whole regular file. False, with the reason in error, for a file
// that cannot be opened or read, or that is larger than limit bytes (the
// file is then not read at all).
bool ReadFileBytes(const std::string& path, uint64_t limit, std::string& bytes, std::string& error);
