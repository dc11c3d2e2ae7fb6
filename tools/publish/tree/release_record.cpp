#include "tree/release_record.h"

#include <nlohmann/json.hpp>

using Json = nlohmann::ordered_json;

namespace {

Json FileEntry(const ReleaseRecord::File& file) {
  return Json{{"path", file.path}, {"size", file.size}, {"sha256", file.sha256}};
}

bool ReadFileEntry(const Json& entry, ReleaseRecord::File& file) {
  if (!entry.is_object()) return false;
  auto path = entry.find("path");
  auto size = entry.find("size");
  auto sha256 = entry.find("sha256");
  if (path == entry.end() || !path->is_string() || size == entry.end() ||
      !size->is_number_unsigned() || sha256 == entry.end() || !sha256->is_string()) {
    return false;
  }
  file.path = path->get<std::string>();
  file.size = size->get<uint64_t>();
  file.sha256 = sha256->get<std::string>();
  return true;
}

}  // namespace

std::string ReleaseRecordText(const ReleaseRecord& record) {
  Json packages = Json::array();
  for (int i = 0; i < kPackageCount; ++i) {
    Json entry = FileEntry(record.packages[i]);
    entry["variant"] = VariantName(kPackageSlots[i].variant);
    entry["for64BitWindows"] = kPackageSlots[i].for64Bit;
    packages.push_back(entry);
  }
  Json json = {
      {"announced",
       {{"ActiveX", VersionText(record.activeX)}, {"Plugin", VersionText(record.plugin)}}},
      {"checkFrequency", record.checkFrequency},
      {"signer", {{"subject", record.signerSubject}, {"expires", record.signerExpiry}}},
      {"manifest", FileEntry(record.manifest)},
      {"packages", packages},
  };
  // Certificate names may hold bytes that are not UTF-8; they are replaced
  // rather than stopping the release.
  return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

bool ParseReleaseRecordFiles(const std::string& text, ReleaseRecord& record) {
  Json json = Json::parse(text, nullptr, false);
  if (json.is_discarded() || !json.is_object()) return false;
  auto manifest = json.find("manifest");
  auto packages = json.find("packages");
  if (manifest == json.end() || !ReadFileEntry(*manifest, record.manifest) ||
      packages == json.end() || !packages->is_array() || packages->size() != kPackageCount) {
    return false;
  }
  for (int i = 0; i < kPackageCount; ++i) {
    if (!ReadFileEntry((*packages)[i], record.packages[i]) ||
        record.packages[i].path != kPackageSlots[i].path) {
      return false;
    }
  }
  return true;
}
