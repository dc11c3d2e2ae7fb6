#pragma once

#include <cstdint>

// The bounds of the service's waits. The package arrives over plain HTTP, so
// anyone on the path can answer for the server: without bounds an endless
// body fills the disk and a dripping one holds the cycle for ever. While a
// cycle runs, every later start of the scheduled task finds the service
// running and does nothing, so a cycle that never ended would stop updates
// on that machine until it restarts.
//
// The whole package and its extracted content are held in a 32-bit process's
// memory at once, so no real package comes near 512 MiB.
constexpr uint32_t kMaxPackageBytes = 512u * 1024u * 1024u;

// A 512 MiB package over a 1 Mbit/s link takes about 72 minutes; two hours
// leave room for slower links and real packages, which are far smaller.
// Counted from the package request.
constexpr uint32_t kMaxDownloadSeconds = 2u * 60u * 60u;

// The manifest fetch as a whole: name resolution, connection, TLS handshake,
// response headers and body. The manifest is a few hundred bytes.
constexpr uint32_t kMaxManifestSeconds = 2u * 60u;

// The package request from its start until its response headers are in.
constexpr uint32_t kMaxPackageHeadersSeconds = 2u * 60u;

// The whole update cycle: the backstop for any call that no other bound
// ends. Longer than the manifest and the whole download together.
constexpr uint32_t kMaxCycleSeconds = 3u * 60u * 60u;

// How long past a network bound the cycle's watchdog leaves the platform's
// own time-outs to end the call before it ends the cycle itself. Windows
// checks a response's header time-out only when data arrives, so it can
// fire up to one receive time-out late.
constexpr uint32_t kWatchdogGraceSeconds = 30u;

// The longest silence WinHTTP waits out while receiving: Windows' own
// default, set explicitly because Wine applies none to a TLS handshake or to
// response headers unless time-outs are set.
constexpr uint32_t kReceiveTimeoutSeconds = 30u;

constexpr uint32_t kMillisecondsPerSecond = 1000;

// One set of the bounds above; the program runs with kServiceBounds, test
// builds shorten them.
struct ServiceBounds {
  uint32_t maxPackageBytes;
  uint32_t downloadSeconds;
  uint32_t manifestSeconds;
  uint32_t packageHeadersSeconds;
  uint32_t cycleSeconds;
  uint32_t graceSeconds;
};

constexpr ServiceBounds kServiceBounds{kMaxPackageBytes,          kMaxDownloadSeconds,
                                       kMaxManifestSeconds,       kMaxPackageHeadersSeconds,
                                       kMaxCycleSeconds,          kWatchdogGraceSeconds};
