#include "net/version_manifest.h"

#include <windows.h>
#include <winhttp.h>

#include <string>
#include <vector>

#include "common/unique_handle.h"
#include "log/install_log.h"
#include "net/version_manifest_parser.h"
#include "net/wait_timeouts.h"
#include "update/cycle_watchdog.h"

namespace {

const wchar_t kUserAgent[] = L"Get Plumix Player version xml/1.0";
const wchar_t kManifestPath[] = L"/pub/plumixplayer/update/current/sau/11/xml/version.xml";

// Appends the body chunk by chunk until a pass reports no more data. Each
// chunk counts up to its first NUL byte only: the manifest is text, and the
// parser needs a terminated buffer anyway. A failed query or read keeps what
// came before it.
void ReadResponseBody(HINTERNET request, std::string& text) {
  DWORD available;
  do {
    available = 0;
    if (!WinHttpQueryDataAvailable(request, &available)) {
      LogEventLastError(LogLevel::Warning, 1404);
    }
    std::vector<char> chunk(static_cast<size_t>(available) + 1, '\0');
    DWORD read = 0;
    if (WinHttpReadData(request, chunk.data(), available, &read)) {
      text.append(chunk.data());
    } else {
      LogEventLastError(LogLevel::Warning, 1406);
    }
  } while (available > 0);
}

// One GET of the manifest over TLS. Every step runs only when the one before
// it succeeded; each step that fails or cannot run logs its event with the
// current error, so one early failure shows as the whole cascade. The handles
// close in the order request, connection, session on return. The whole fetch
// is one network wait of bounds.manifestSeconds. True when a response
// arrived; text then holds its body.
bool ReceiveManifest(const ServiceContext& context, std::string& text) {
  const uint32_t seconds = context.platform.bounds.manifestSeconds;
  CycleWatchdog::NetworkWait wait(context.watchdog, seconds);
  UniqueWinHttpHandle session(WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                          WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session.valid()) LogEventLastError(LogLevel::Warning, 1400);

  UniqueWinHttpHandle connection;
  if (session.valid()) {
    connection.reset(
        WinHttpConnect(session.get(), context.policy.ManifestHost.c_str(),
                       INTERNET_DEFAULT_HTTPS_PORT, 0));
  }
  if (!connection.valid()) LogEventLastError(LogLevel::Warning, 1401);

  UniqueWinHttpHandle request;
  if (connection.valid()) {
    request.reset(WinHttpOpenRequest(connection.get(), L"GET", kManifestPath, nullptr,
                                     WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                     WINHTTP_FLAG_SECURE));
  }
  if (request.valid()) {
    SetWaitTimeouts(request.get(), seconds);
  } else {
    LogEventLastError(LogLevel::Warning, 1402);
  }

  bool sent = request.valid() &&
              WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                                 WINHTTP_NO_REQUEST_DATA, 0, 0, 0);
  if (!sent) LogEventLastError(LogLevel::Warning, 1403);

  bool received = sent && WinHttpReceiveResponse(request.get(), nullptr);
  if (!received) LogEventLastError(LogLevel::Warning, 1407);

  // No status code is examined: an error page fails in the parser.
  if (received) ReadResponseBody(request.get(), text);
  return received;
}

}  // namespace

bool FetchVersionManifest(const ServiceContext& context, std::optional<VersionRecord>& activeX,
                          std::optional<VersionRecord>& plugin,
                          std::optional<uint32_t>& checkFrequency) {
  std::string text;
  if (!ReceiveManifest(context, text)) {
    LogEvent(LogLevel::Warning, 1408);
    return false;
  }
  if (!ParseVersionManifest(text.data(), activeX, plugin, checkFrequency)) {
    LogEvent(LogLevel::Warning, 1409);
    return false;
  }
  return true;
}

bool ParseVersionManifest(char* text, std::optional<VersionRecord>& activeX,
                          std::optional<VersionRecord>& plugin, std::optional<uint32_t>& checkFrequency) {
  ManifestValues values;
  switch (ParseManifestText(text, values)) {
    case ManifestParseResult::Parsed:
      activeX = values.activeX;
      plugin = values.plugin;
      checkFrequency = values.checkFrequency;
      return true;
    case ManifestParseResult::Malformed:
      LogEvent(LogLevel::Warning, 1410);
      return false;
    case ManifestParseResult::OutOfMemory:
      LogEvent(LogLevel::Warning, 1411);
      return false;
    case ManifestParseResult::Incomplete:
      break;
  }
  return false;
}
