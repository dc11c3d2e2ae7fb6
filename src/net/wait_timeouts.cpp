#include "net/wait_timeouts.h"

#include "net/download_limits.h"

void SetWaitTimeouts(HINTERNET request, uint32_t seconds) {
  int bound = static_cast<int>(seconds * kMillisecondsPerSecond);
  WinHttpSetTimeouts(request, bound, bound, bound,
                     static_cast<int>(kReceiveTimeoutSeconds * kMillisecondsPerSecond));
  DWORD headers = static_cast<DWORD>(bound);
  WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headers, sizeof(headers));
}
