#pragma once

#include <cstdint>
#include <string_view>

// One request as nginx's standard "combined" access log format writes it:
//   $remote_addr - $remote_user [$time_local] "$request" $status
//   $body_bytes_sent "$http_referer" "$http_user_agent"
// The views point into the line they were read from.
struct LogRequest {
  std::string_view address;
  int64_t time = 0;  // the end of the request, seconds since 1970-01-01 UTC
  std::string_view method;
  std::string_view path;  // the request target without its query
  int status = 0;
  uint64_t bytesSent = 0;    // body bytes sent
  std::string_view userAgent;  // as logged: nginx writes '"', '\' and control bytes as \xHH
};

// Reads one line (without its line end; a trailing '\r' is allowed) in the
// combined format. A quoted field ends at the first '"' not escaped by a
// backslash, so both nginx's \xHH escapes and other writers' \" are read.
// Fields after the user agent (formats that extend combined) are ignored. A
// request field that is not "METHOD TARGET PROTOCOL" (a client that sent
// garbage) still reads, with an empty method and path. False for a line of
// another format.
bool ParseCombinedLine(std::string_view line, LogRequest& request);

// Seconds since 1970-01-01 UTC of a $time_local text, "10/Oct/2000:13:55:36
// -0700". False for any other text.
bool ParseLogTime(std::string_view text, int64_t& time);
