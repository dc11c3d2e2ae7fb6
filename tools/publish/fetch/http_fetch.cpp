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
  CURL* handle = curl.get();
  curl_easy_setopt(handle, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(handle, CURLOPT_USERAGENT, request.userAgent.c_str());
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &sink);
  curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, message);
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 10L);
  // WinHTTP's default redirect policy: anything but HTTPS to HTTP.
  bool secure = request.url.rfind("https:", 0) == 0;
  curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, 60L);
  curl_easy_setopt(handle, CURLOPT_TIMEOUT, request.timeoutSeconds);
  if (!request.caFile.empty()) curl_easy_setopt(handle, CURLOPT_CAINFO, request.caFile.c_str());
  CURLcode code = curl_easy_perform(handle);
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &result.status);
  if (sink.overflow) {
    error = "the answer is longer than " + std::to_string(request.maxBytes) + " bytes";
    return false;
  }
  if (code != CURLE_OK) {
    error = message[0] != '\0' ? message : curl_easy_strerror(code);
    return false;
  }
  return true;
}
