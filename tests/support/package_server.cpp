#include "support/package_server.h"

#include <windows.h>

#include <filesystem>

#include "package_corpus_paths.h"
#include "support/test_files.h"

namespace {

std::wstring ServedFile(const std::string& urlPath) {
  std::wstring path = kPackageServerRoot;
  for (char c : urlPath) path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
  return path;
}

// The text of a string field in one JSON line the server writes; its values
// here (paths, agents, methods) hold no escapes.
std::string JsonField(const std::string& line, const std::string& name) {
  std::string key = "\"" + name + "\": \"";
  size_t start = line.find(key);
  if (start == std::string::npos) return std::string();
  start += key.size();
  size_t end = line.find('"', start);
  return line.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace

PackageServer::PackageServer() : requestsOffset_(ReadFileBytes(kPackageServerRequests).size()) {}

PackageServer::~PackageServer() {
  for (const std::wstring& path : served_) DeleteFileW(path.c_str());
  if (faults_) DeleteFileW(kPackageServerFaults);
}

const wchar_t* PackageServer::Address() { return kPackageServerAddress; }

void PackageServer::Serve(const std::string& urlPath, const std::string& bytes) {
  std::wstring path = ServedFile(urlPath);
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  WriteFileBytes(path, bytes);
  served_.push_back(path);
}

void PackageServer::SetFault(const std::string& urlPath, const std::string& mode) {
  WriteFileBytes(kPackageServerFaults, "{\"" + urlPath + "\": \"" + mode + "\"}");
  faults_ = true;
}

std::vector<PackageServer::Request> PackageServer::NewRequests() const {
  std::string log = ReadFileBytes(kPackageServerRequests);
  std::vector<Request> requests;
  size_t start = requestsOffset_;
  for (size_t end; (end = log.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string line = log.substr(start, end - start);
    if (JsonField(line, "scheme") != "http") continue;
    requests.push_back({JsonField(line, "method"), JsonField(line, "path"),
                        JsonField(line, "user_agent")});
  }
  return requests;
}
