#pragma once

#include <string>
#include <vector>

// One test's use of the download tests' local update server
// (tools/update-server on 127.0.0.4, plain HTTP on port 80): the files and
// faults it sets up are removed again when it ends, and it sees only the
// requests made since it was created.
class PackageServer {
 public:
  struct Request {
    std::string method;
    std::string path;
    std::string userAgent;
  };

  PackageServer();
  ~PackageServer();
  PackageServer(const PackageServer&) = delete;
  PackageServer& operator=(const PackageServer&) = delete;

  // The loopback address text the server listens on.
  static const wchar_t* Address();

  // Serves bytes at a URL path ("/a/b.z").
  void Serve(const std::string& urlPath, const std::string& bytes);
  // Answers the URL path with a fault mode of the server ("close",
  // "truncate").
  void SetFault(const std::string& urlPath, const std::string& mode);

  // The plain-HTTP requests the server saw since this object was made.
  std::vector<Request> NewRequests() const;

 private:
  std::vector<std::wstring> served_;
  bool faults_ = false;
  size_t requestsOffset_;
};
