#pragma once

#include <string>

#include "tree/release_record.h"

// The record (release.json) of the release named name in the store of dir:
// its announced versions and each package's path and size, as the health
// reader needs them to tell a completed download. False, with the reason,
// when the store holds no such release or its record cannot be read.
bool LoadStoredRelease(const std::string& dir, const std::string& name, ReleaseRecord& record,
                       std::string& error);
