#include "tree/manifest_text.h"

#include <vector>

namespace {

std::string VersionElement(const char* name, const FileVersion& version) {
  return std::string("  <") + name + " major=\"" + std::to_string(version.major) + "\" minor=\"" +
         std::to_string(version.minor) + "\" buildMajor=\"" + std::to_string(version.buildMajor) +
         "\" buildMinor=\"" + std::to_string(version.buildMinor) + "\"/>\n";
}

}  // namespace

std::string ManifestText(const FileVersion& activeX, const FileVersion& plugin,
                         uint32_t checkFrequency) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<version>\n" +
         VersionElement("ActiveX", activeX) + VersionElement("Plugin", plugin) +
         "  <SAUConfig checkFrequency=\"" + std::to_string(checkFrequency) + "\"/>\n</version>\n";
}

bool ParseManifestAsClients(const std::string& text, ManifestValues& values) {
  // The clients keep the text up to its first NUL byte.
  std::vector<char> buffer(text.c_str(), text.c_str() + text.size() + 1);
  return ParseManifestText(buffer.data(), values) == ManifestParseResult::Parsed;
}

FileVersion AnnouncedVersion(const VersionRecord& record) {
  return FileVersion{record.major, record.minor, record.buildMajor, record.buildMinor};
}
