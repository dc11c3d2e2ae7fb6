#include "rollout/nginx_change.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/file_bytes.h"
#include "rollout/process_run.h"
#include "store/atomic_file.h"
#include "store/store_layout.h"

namespace {

constexpr int kCommandSeconds = 120;
constexpr uint64_t kFileLimit = 16 << 20;
bool MakeNginxFolder(const std::string& dir, std::string& error) {
  std::string folder = NginxFolder(dir);
  if (mkdir(folder.c_str(), 0755) == 0 || errno == EEXIST) return true;
  error = folder + ": " + std::strerror(errno);
  return false;
}

// The last lines of a command's output, each indented, for a message.
std::string Tail(const std::string& output) {
  std::string text;
  size_t start = output.size();
  for (int lines = 0; lines < 12 && start > 0; ++lines) {
    start = output.rfind('\n', start - 2);
    if (start == std::string::npos) {
      start = 0;
      break;
    }
    ++start;
  }
  for (size_t at = start; at < output.size();) {
    size_t end = output.find('\n', at);
    if (end == std::string::npos) end = output.size();
    text += "\n  " + output.substr(at, end - at);
    at = end + 1;
  }
  return text;
}

}  // namespace

NginxChange::NginxChange(std::string dir, NginxControl control)
    : dir_(std::move(dir)), control_(std::move(control)) {}

bool NginxChange::ReadPrevious(std::string& error) {
  for (int i = 0; i < kNginxFileCount; ++i) {
    std::string path = NginxFilePath(dir_, i);
    hadPrevious_[i] = access(path.c_str(), F_OK) == 0;
    if (hadPrevious_[i] && !ReadFileBytes(path, kFileLimit, previous_.text[i], error)) {
      error = path + ": " + error;
      return false;
    }
  }
  return true;
}

bool NginxChange::WriteAll(const NginxFiles& files, const bool present[kNginxFileCount],
                           std::string& error) {
  if (!MakeNginxFolder(dir_, error)) return false;
  for (int i = 0; i < kNginxFileCount; ++i) {
    std::string path = NginxFilePath(dir_, i);
    if (!present[i]) {
      if (unlink(path.c_str()) != 0 && errno != ENOENT) {
        error = path + ": " + std::strerror(errno);
        return false;
      }
    } else if (!ReplaceFileAtomically(path, files.text[i], error)) {
      return false;
    }
  }
  return true;
}

bool NginxChange::TestConfiguration(std::string& error) {
  std::vector<std::string> command = {"nginx", "-T"};
  if (!control_.configuration.empty()) {
    command.insert(command.end(), {"-c", control_.configuration});
  }
  std::string output, failure;
  if (!RunProcess(command, kCommandSeconds, output, failure)) {
    error = "nginx -T " + failure + Tail(output);
    return false;
  }
  for (int i : {kHttpFile, kLocationsFile}) {
    if (output.find("# configuration file " + NginxFilePath(dir_, i) + ":") == std::string::npos) {
      error =
          "the nginx configuration does not include " + NginxFilePath(dir_, i) +
          " (add \"include " + NginxFilePath(dir_, i) + ";\" to " +
          (i == kHttpFile ? std::string("its http block") : "each server block serving " + dir_) +
          ")";
      return false;
    }
  }
  return true;
}

bool NginxChange::Reload(std::string& error) {
  std::string output, failure;
  if (RunProcess({"/bin/sh", "-c", control_.reloadCommand}, kCommandSeconds, output, failure)) {
    return true;
  }
  error = "the reload command \"" + control_.reloadCommand + "\" " + failure + Tail(output);
  return false;
}

bool NginxChange::Apply(const NginxFiles& files, std::string& error) {
  const bool all[kNginxFileCount] = {true, true, true};
  std::string restoreError;
  if (!WriteAll(files, all, error)) {
    WriteAll(previous_, hadPrevious_, restoreError);
    return false;
  }
  if (!TestConfiguration(error)) {
    if (!WriteAll(previous_, hadPrevious_, restoreError)) error += "\n" + restoreError;
    return false;
  }
  if (!Reload(error)) {
    std::string again;
    if (!WriteAll(previous_, hadPrevious_, restoreError))
      error += "\n" + restoreError;
    else if (!Reload(again))
      error += "\nreloading the previous files: " + again;
    return false;
  }
  return true;
}

bool NginxChange::Revert(std::string& error) {
  return WriteAll(previous_, hadPrevious_, error) && Reload(error);
}

bool WriteInitialNginxFiles(const std::string& dir, const NginxFiles& files, std::string& error) {
  if (!MakeNginxFolder(dir, error)) return false;
  for (int i = 0; i < kNginxFileCount; ++i) {
    std::string path = NginxFilePath(dir, i);
    if (access(path.c_str(), F_OK) != 0 && !ReplaceFileAtomically(path, files.text[i], error)) {
      return false;
    }
  }
  return true;
}
