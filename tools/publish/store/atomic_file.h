#pragma once

#include <string>

// Writes bytes to a new file beside path, flushes it, renames it over path
// and flushes the folder: a crash leaves the old file or the new one, whole.
// False, with the file and errno's reason in error; the new file is then
// removed and path left as it was.
bool ReplaceFileAtomically(const std::string& path, const std::string& bytes, std::string& error);

// Flushes a folder (after a rename in it). False with errno set.
bool SyncFolder(const std::string& path);
