#pragma once

#include <cstdint>
#include <optional>

#include "net/version_record.h"
#include "settings/auto_update_policy.h"

// Fetches the version manifest over HTTPS from the policy's ManifestHost and
// parses it. True only when all three outputs are filled; after false the
// caller uses none of them. Logs events 1400 to 1411 at Warning. The whole
// fetch is bounded by the platform's bounds.manifestSeconds: the platform's
// time-outs where it honours them, else the context's watchdog, when there
// is one.
bool FetchVersionManifest(const ServiceContext& context, std::optional<VersionRecord>& activeX,
                          std::optional<VersionRecord>& plugin,
                          std::optional<uint32_t>& checkFrequency);

// Parses the NUL-terminated manifest text in place (it is altered). Logs 1410
// for malformed XML and 1411 for running out of memory.
bool ParseVersionManifest(char* text, std::optional<VersionRecord>& activeX,
                          std::optional<VersionRecord>& plugin, std::optional<uint32_t>& checkFrequency);
