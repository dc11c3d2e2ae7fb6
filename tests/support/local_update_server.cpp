#include "support/local_update_server.h"

#include <filesystem>

#include "support/test_files.h"

namespace fs = std::filesystem;

LocalUpdateServer::LocalUpdateServer(const LocalUpdateServerConfig& config)
    : config_(config), requestsOffset_(ReadFileBytes(config.requests).size()) {}

LocalUpdateServer::~LocalUpdateServer() {
  RemoveTree(config_.faults);
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(fs::path(config_.root), error)) {
    RemoveTree(entry.path().wstring());
  }
}

void LocalUpdateServer::Serve(const std::string& urlPath, const std::string& bytes) {
  fs::path file = fs::path(config_.root) / fs::path(urlPath).relative_path();
  fs::create_directories(file.parent_path());
  WriteFileBytes(file.wstring(), bytes);
}

void LocalUpdateServer::SetFault(const std::string& urlPath, const std::string& mode) {
  WriteFileBytes(config_.faults, "{\"" + urlPath + "\": \"" + mode + "\"}");
}

std::vector<std::string> LocalUpdateServer::NewRequests() const {
  std::string log = ReadFileBytes(config_.requests);
  std::vector<std::string> lines;
  size_t start = requestsOffset_;
  for (size_t end; (end = log.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(log.substr(start, end - start));
  }
  return lines;
}

std::string LocalUpdateServer::RequestLine(const std::string& scheme, const std::string& path,
                                           const std::string& userAgent, const std::string& host) {
  return "{\"scheme\": \"" + scheme + "\", \"method\": \"GET\", \"path\": \"" + path +
         "\", \"user_agent\": \"" + userAgent + "\", \"host\": \"" + host + "\"}";
}
