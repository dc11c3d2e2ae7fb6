#include "store/store_layout.h"

#include <unistd.h>

#include <vector>

std::string StoreFolder(const std::string& dir) { return dir + "/" + kStoreFolderName; }
std::string ReleasesFolder(const std::string& dir) { return StoreFolder(dir) + "/releases"; }
std::string ReleaseFolder(const std::string& dir, const std::string& name) {
  return ReleasesFolder(dir) + "/" + name;
}
std::string CurrentLink(const std::string& dir) { return StoreFolder(dir) + "/current"; }
std::string RolloutStatePath(const std::string& dir) { return StoreFolder(dir) + "/rollout.json"; }
std::string NginxFolder(const std::string& dir) { return StoreFolder(dir) + "/nginx"; }
std::string StoreLockPath(const std::string& dir) { return StoreFolder(dir) + "/lock"; }

std::string ReleaseName(const FileVersion& activeX, const FileVersion& plugin) {
  std::string activeXText = VersionText(activeX);
  std::string pluginText = VersionText(plugin);
  return activeXText == pluginText ? activeXText : activeXText + "-" + pluginText;
}

bool IsReleaseName(const std::string& text) {
  if (text.empty() || text.size() > 64 || text.front() == '.' || text.front() == '-') return false;
  if (text.find_first_not_of("0123456789.-") != std::string::npos) return false;
  return text.find('-') == text.rfind('-') && text.find("..") == std::string::npos;
}

std::string ServedReleaseName(const std::string& dir) {
  std::vector<char> target(256);
  ssize_t length = readlink(CurrentLink(dir).c_str(), target.data(), target.size());
  if (length <= 0 || static_cast<size_t>(length) >= target.size()) return "";
  std::string text(target.data(), static_cast<size_t>(length));
  const std::string prefix = "releases/";
  if (text.compare(0, prefix.size(), prefix) != 0) return "";
  std::string name = text.substr(prefix.size());
  return IsReleaseName(name) ? name : "";
}
