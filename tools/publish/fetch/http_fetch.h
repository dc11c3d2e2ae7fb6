#pragma once

#include <cstdint>
#include <string>

// One GET request as a client makes it.
struct FetchRequest {
  std::string url;
  std::string userAgent;
  std::string caFile;     // the only CAs trusted for HTTPS; "" for the system's
  uint64_t maxBytes = 0;  // a longer body fails the fetch
  long timeoutSeconds = 0;
};

struct FetchResult {
  long status = 0;  // the HTTP status, 0 when no answer came
  std::string body;
};

// Fetches the URL with libcurl: the server's certificate and name are
// verified for HTTPS, redirects are followed as WinHTTP does by default
// (never from HTTPS to HTTP). Like the clients, it does not judge the
// status: any answer counts. False, with the reason, when no complete
// answer arrived (connection, TLS, time-out, a body over maxBytes).
bool Fetch(const FetchRequest& request, FetchResult& result, std::string& error);
