#pragma once

#include <cstdint>
#include <memory>

#include "net/version_record.h"
#include "settings/auto_update_policy.h"

// The installer file, relative to the current directory.
extern const wchar_t kInstallerFileName[];

// Downloads the variant's signed package over HTTP from the policy's
// PackageHost into a fresh temporary folder, verifies it and writes its
// content as the installer file. True when the installer file has been
// written completely from a verified package. A body that passes the
// platform's bounds.maxPackageBytes (announced or received), or a transfer
// that lasts longer than its bounds.downloadSeconds, ends with event 1209
// and ERROR_FILE_TOO_LARGE or ERROR_TIMEOUT; the download folder is gone on
// every way out. The context's watchdog, when there is one, ends the cycle
// if the response headers take longer than bounds.packageHeadersSeconds or
// the body longer than bounds.downloadSeconds and the call does not return.
// An installer file whose write failed (1216) is removed.
bool DownloadInstaller(PluginVariant variant, const ServiceContext& context);

// Reads a whole file into one buffer the caller owns. False for a missing or
// empty file or a short read.
bool ReadWholeFile(const wchar_t* path, std::unique_ptr<uint8_t[]>& data, uint32_t& size);
