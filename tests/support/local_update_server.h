#pragma once

#include <string>
#include <vector>

// Where a local update server of the test run (tools/update-server) listens
// and keeps its files, as Windows paths; generated per server by CMake
// (plumix_add_update_server).
struct LocalUpdateServerConfig {
  const wchar_t* address;   // loopback address text, also the certificate's name
  const wchar_t* root;      // folder served by URL path
  const wchar_t* requests;  // one JSON line per request the server saw
  const wchar_t* faults;    // JSON object: URL path -> fault mode
};

// One test's use of a running server: the files and faults it sets up are
// removed again when it ends, and it sees only the requests made since it
// was created.
class LocalUpdateServer {
 public:
  explicit LocalUpdateServer(const LocalUpdateServerConfig& config);
  ~LocalUpdateServer();
  LocalUpdateServer(const LocalUpdateServer&) = delete;
  LocalUpdateServer& operator=(const LocalUpdateServer&) = delete;

  const wchar_t* address() const { return config_.address; }

  // Serves bytes at the URL path ("/a/b.xml").
  void Serve(const std::string& urlPath, const std::string& bytes);
  // Answers the URL path with a fault mode of update_server.py ("close",
  // "truncate"); one fault at a time.
  void SetFault(const std::string& urlPath, const std::string& mode);

  // The request log lines written since this object was made.
  std::vector<std::string> NewRequests() const;
  // The line the server writes for a request.
  static std::string RequestLine(const std::string& scheme, const std::string& path,
                                 const std::string& userAgent, const std::string& host);

 private:
  LocalUpdateServerConfig config_;
  size_t requestsOffset_;
};
