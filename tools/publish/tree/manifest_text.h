#pragma once

#include <cstdint>
#include <string>

#include "net/version_manifest_parser.h"
#include "pe/file_version.h"

// The version manifest announcing the two versions and the check frequency,
// in the form the clients parse.
std::string ManifestText(const FileVersion& activeX, const FileVersion& plugin,
                         uint32_t checkFrequency);

// Parses manifest text with the clients' own parser (a copy; the text is
// not altered). True with the values when it yields all of them.
bool ParseManifestAsClients(const std::string& text, ManifestValues& values);

// The announced version of a record as a file version, for comparison.
FileVersion AnnouncedVersion(const VersionRecord& record);
