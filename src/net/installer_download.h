#pragma once

#include <cstdint>
#include <memory>

#include "net/version_record.h"

// The installer file, relative to the current directory.
extern const wchar_t kInstallerFileName[];

// Downloads the variant's signed package over HTTP from
// AutoUpdatePolicy::PackageHost into a fresh temporary folder, verifies it and
// writes its content as the installer file. True when the installer file has
// been written completely from a verified package.
bool DownloadInstaller(PluginVariant variant);

// Reads a whole file into one buffer the caller owns. False for a missing or
// empty file or a short read.
bool ReadWholeFile(const wchar_t* path, std::unique_ptr<uint8_t[]>& data, uint32_t& size);
