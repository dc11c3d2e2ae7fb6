#include "fetch/http_fetch.h"

#include <curl/curl.h>

#include <memory>

namespace {

struct CurlDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlOwner = std::unique_ptr<CURL, CurlDeleter>;

struct Sink {
  std::string* body;
  uint64_t maxBytes;
  bool overflow;
};

size_t Collect(char* data, size_t size, size_t count, void* context) {
  Sink& sink = *static_cast<Sink*>(context);
  size_t bytes = size * count;
  if (sink.body->size() + bytes > sink.maxBytes) {
    sink.overflow = true;
    return 0;  // stops the transfer
  }
  sink.body->append(data, bytes);
  return bytes;
}

// Sets one option; false, with the option's name and libcurl's reason, when
// libcurl refuses it (an option this libcurl does not know, say).
template <typename Value>
bool SetOption(CURL* handle, CURLoption option, Value value, std::string& error) {
  CURLcode code = curl_easy_setopt(handle, option, value);
  if (code == CURLE_OK) return true;
  const curl_easyoption* known = curl_easy_option_by_id(option);
  error = std::string("libcurl refused the option ") + (known ? known->name : "?") + ": " +
          curl_easy_strerror(code);
  return false;
}

// With a CA file, it alone is trusted: the CA folder that libcurl is built
// with (/etc/ssl/certs on Debian) would otherwise be trusted too.
bool SetTrust(CURL* handle, const std::string& caFile, std::string& error) {
  if (caFile.empty()) return true;
  return SetOption(handle, CURLOPT_CAINFO, caFile.c_str(), error) &&
         SetOption(handle, CURLOPT_CAPATH, static_cast<const char*>(nullptr), error);
}

bool SetOptions(CURL* handle, const FetchRequest& request, Sink& sink, char* message,
                std::string& error) {
  // WinHTTP's default redirect policy: anything but HTTPS to HTTP.
  bool secure = request.url.rfind("https:", 0) == 0;
  return SetOption(handle, CURLOPT_URL, request.url.c_str(), error) &&
         SetOption(handle, CURLOPT_USERAGENT, request.userAgent.c_str(), error) &&
         SetOption(handle, CURLOPT_WRITEFUNCTION, Collect, error) &&
         SetOption(handle, CURLOPT_WRITEDATA, &sink, error) &&
         SetOption(handle, CURLOPT_ERRORBUFFER, message, error) &&
         SetOption(handle, CURLOPT_NOSIGNAL, 1L, error) &&
         SetOption(handle, CURLOPT_FOLLOWLOCATION, 1L, error) &&
         SetOption(handle, CURLOPT_MAXREDIRS, 10L, error) &&
         SetOption(handle, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https", error) &&
         SetOption(handle, CURLOPT_CONNECTTIMEOUT, 60L, error) &&
         SetOption(handle, CURLOPT_TIMEOUT, request.timeoutSeconds, error) &&
         SetTrust(handle, request.caFile, error);
}

}  // namespace

bool Fetch(const FetchRequest& request, FetchResult& result, std::string& error) {
  result = FetchResult();
  CurlOwner curl(curl_easy_init());
  if (!curl) {
    error = "libcurl could not start";
    return false;
  }
  Sink sink{&result.body, request.maxBytes, false};
  char message[CURL_ERROR_SIZE] = "";
  if (!SetOptions(curl.get(), request, sink, message, error)) return false;
  CURLcode code = curl_easy_perform(curl.get());
  if (sink.overflow) {
    error = "the answer is longer than " + std::to_string(request.maxBytes) + " bytes";
    return false;
  }
  if (code != CURLE_OK) {
    error = message[0] != '\0' ? message : curl_easy_strerror(code);
    return false;
  }
  if (curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &result.status) != CURLE_OK) {
    error = "libcurl gave no HTTP status";
    return false;
  }
  return true;
}
