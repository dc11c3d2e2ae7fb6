#pragma once

#include <cstdint>

// Bounds of one package download. The package arrives over plain HTTP, so
// anyone on the path can answer for the server: without bounds an endless
// body fills the disk and a dripping one holds the cycle for ever.
//
// The whole package and its extracted content are held in a 32-bit process's
// memory at once, so no real package comes near 512 MiB.
constexpr uint32_t kMaxPackageBytes = 512u * 1024u * 1024u;

// A 512 MiB package over a 1 Mbit/s link takes about 72 minutes; two hours
// leave room for slower links and real packages, which are far smaller.
constexpr uint32_t kMaxDownloadSeconds = 2u * 60u * 60u;
