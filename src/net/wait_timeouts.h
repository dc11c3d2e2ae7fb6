#pragma once

#include <windows.h>
#include <winhttp.h>

#include <cstdint>

// Gives a request WinHTTP's own time-outs for a wait bounded by seconds:
// name resolution, connection, sending and the whole response header each
// within the bound, and every silence while receiving within
// kReceiveTimeoutSeconds. Windows honours all of them; Wine 8 honours the
// header time-out only as a silence (a TLS handshake or headers that never
// start), which is why the cycle's watchdog backs them. A failure to set
// them leaves the watchdog alone to bound the wait.
void SetWaitTimeouts(HINTERNET request, uint32_t seconds);
