// libFuzzer target for the version manifest parser: any bytes, terminated as
// the fetch terminates them, must give a result without a crash, a leak or a
// sanitizer report.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "net/version_manifest_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<char> text(data, data + size);
  text.push_back('\0');
  ManifestValues values;
  if (ParseManifestText(text.data(), values) == ManifestParseResult::Parsed &&
      (values.activeX.variant != PluginVariant::ActiveX ||
       values.plugin.variant != PluginVariant::Plugin)) {
    std::abort();
  }
  return 0;
}
