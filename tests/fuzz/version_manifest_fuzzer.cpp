// libFuzzer target for the version manifest parser: any bytes, terminated as
// the fetch terminates them, must give a result without a crash, a leak or a
// sanitizer report. The nesting scan that guards the parser's recursion must
// agree with the parser: on every text the parser accepts, the scan reads the
// whole text and reports the depth of the tree the parser built; on every
// text the parser refuses, the scan reads at least up to where the parser
// reported the error (so it saw every element the parser opened); and text
// the scan finds too deep is refused as malformed.
#include <rapidxml.hpp>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "net/version_manifest_parser.h"
#include "net/xml_nesting_depth.h"

namespace {

using Node = rapidxml::xml_node<char>;

// Deepest element of the tree, walked without recursion.
uint32_t TreeDepth(const Node* document) {
  uint32_t deepest = 0;
  std::vector<std::pair<const Node*, uint32_t>> pending = {{document, 0}};
  while (!pending.empty()) {
    auto [node, depth] = pending.back();
    pending.pop_back();
    if (depth > deepest) deepest = depth;
    for (const Node* child = node->first_node(); child != nullptr; child = child->next_sibling()) {
      if (child->type() == rapidxml::node_element) pending.push_back({child, depth + 1});
    }
  }
  return deepest;
}

void CheckNestingScan(const std::vector<char>& text) {
  const char* end = nullptr;
  uint32_t scanned = ElementNestingDepth(text.data(), kMaxManifestNesting, &end);
  if (scanned > kMaxManifestNesting) return;
  size_t scannedTo = static_cast<size_t>(end - text.data());
  std::vector<char> copy = text;
  // One document for every input: its 64 KB pool is made once.
  static rapidxml::xml_document<char>* document = new rapidxml::xml_document<char>;
  document->clear();
  try {
    document->parse<0>(copy.data());
  } catch (const rapidxml::parse_error& error) {
    if (scannedTo < static_cast<size_t>(error.where<char>() - copy.data())) std::abort();
    return;
  }
  if (scannedTo != std::strlen(text.data()) || TreeDepth(document) != scanned) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<char> text(data, data + size);
  text.push_back('\0');
  CheckNestingScan(text);
  bool tooDeep = ElementNestingDepth(text.data(), kMaxManifestNesting) > kMaxManifestNesting;
  ManifestValues values;
  ManifestParseResult result = ParseManifestText(text.data(), values);
  if (tooDeep && result != ManifestParseResult::Malformed) std::abort();
  if (result == ManifestParseResult::Parsed &&
      (values.activeX.variant != PluginVariant::ActiveX ||
       values.plugin.variant != PluginVariant::Plugin)) {
    std::abort();
  }
  return 0;
}
