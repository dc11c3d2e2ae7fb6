#pragma once

#include "net/version_record.h"
#include "update/product_version.h"

// The installed version of the record's variant from the plug-in's registry
// key, or 0.0.0.0 when the variant is unknown, not registered, unreadable, a
// debugger build, or its Version value is not a text terminated within its
// 1024 bytes.
ProductVersion ReadInstalledVersion(const VersionRecord& record);

// True when the variant is installed and the record's version is higher.
bool IsUpdateNeeded(const VersionRecord& record);
