#pragma once

#include <cstdio>

#include "common/byte_string.h"

// The few file operations the settings store needs, over UTF-8 paths. Each
// platform provides them with its own calls.

// fopen for a UTF-8 path.
FILE* OpenFileUtf8(const ByteString& path, const char* mode);

// Creates a new, uniquely named file in the folder of path and opens it for
// binary writing; its name goes to tempPath. Null when that fails.
FILE* CreateTempFileBeside(const ByteString& path, ByteString& tempPath);

// Pushes what was written to file down to the disk.
bool FlushFileToDisk(FILE* file);

// Puts tempPath in the place of path in one step: a reader sees either the
// old file or the new one.
bool ReplaceFileWith(const ByteString& tempPath, const ByteString& path);

// Removes a file; on Windows the thread's last error stays as it was, so a
// clean-up after a failure keeps that failure's cause.
bool RemoveFileUtf8(const ByteString& path);
