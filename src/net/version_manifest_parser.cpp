#include "net/version_manifest_parser.h"

#include <rapidxml.hpp>

#include <memory>
#include <new>

#include "common/unsigned_decimal.h"
#include "net/xml_nesting_depth.h"

namespace {

using Document = rapidxml::xml_document<char>;
using Element = rapidxml::xml_node<char>;

// The value texts of one version element, in record order.
struct VersionTexts {
  const char* major;
  const char* minor;
  const char* buildMajor;
  const char* buildMinor;
};

// The first attribute of that name, or null. A value-less attribute is "".
const char* AttributeText(const Element* element, const char* name) {
  const rapidxml::xml_attribute<char>* attribute = element->first_attribute(name);
  return attribute != nullptr ? attribute->value() : nullptr;
}

bool FindVersionTexts(const Element* version, const char* name, VersionTexts& texts) {
  const Element* element = version->first_node(name);
  if (element == nullptr) return false;
  texts.major = AttributeText(element, "major");
  if (texts.major == nullptr) return false;
  texts.minor = AttributeText(element, "minor");
  if (texts.minor == nullptr) return false;
  texts.buildMajor = AttributeText(element, "buildMajor");
  if (texts.buildMajor == nullptr) return false;
  texts.buildMinor = AttributeText(element, "buildMinor");
  return texts.buildMinor != nullptr;
}

VersionRecord ToRecord(const VersionTexts& texts, PluginVariant variant) {
  return VersionRecord{ToUnsigned32(texts.major), ToUnsigned32(texts.minor),
                       ToUnsigned32(texts.buildMajor), ToUnsigned32(texts.buildMinor), variant};
}

// The node pool is 64 KB and lives inside the document, so the document goes
// on the heap rather than on the service thread's stack. Text nested deeper
// than kMaxManifestNesting never reaches the parser, whose recursion would
// otherwise exhaust that stack.
ManifestParseResult ParseDocument(char* text, ManifestValues& values,
                                  const ManifestParserMemory* memory) {
  if (ElementNestingDepth(text, kMaxManifestNesting) > kMaxManifestNesting) {
    return ManifestParseResult::Malformed;
  }
  std::unique_ptr<Document> document(new Document);
  if (memory != nullptr) document->set_allocator(memory->alloc, memory->free);
  document->parse<0>(text);

  VersionTexts activeX;
  VersionTexts plugin;
  const Element* version = document->first_node("version");
  if (version == nullptr || !FindVersionTexts(version, "ActiveX", activeX) ||
      !FindVersionTexts(version, "Plugin", plugin)) {
    return ManifestParseResult::Incomplete;
  }
  const Element* config = version->first_node("SAUConfig");
  const char* checkFrequency = config != nullptr ? AttributeText(config, "checkFrequency") : nullptr;
  if (checkFrequency == nullptr) return ManifestParseResult::Incomplete;
  // The texts point into the parsed buffer, not into the document.
  document.reset();

  values.activeX = ToRecord(activeX, PluginVariant::ActiveX);
  values.plugin = ToRecord(plugin, PluginVariant::Plugin);
  values.checkFrequency = ToUnsigned32(checkFrequency);
  return ManifestParseResult::Parsed;
}

}  // namespace

ManifestParseResult ParseManifestText(char* text, ManifestValues& values,
                                      const ManifestParserMemory* memory) {
  try {
    return ParseDocument(text, values, memory);
  } catch (const rapidxml::parse_error&) {
    return ManifestParseResult::Malformed;
  } catch (const std::bad_alloc&) {
    return ManifestParseResult::OutOfMemory;
  }
}
