#include "net/xml_nesting_depth.h"

#include <rapidxml.hpp>

#include <cstring>

namespace {

// The parser's own character tables, so that names, blanks, text and
// attribute values end exactly where the parser ends them.
using Tables = rapidxml::internal::lookup_tables<0>;

bool In(const unsigned char* table, const char* at) {
  return table[static_cast<unsigned char>(*at)] != 0;
}

const char* Skip(const unsigned char* table, const char* at) {
  while (In(table, at)) ++at;
  return at;
}

// The position after the first occurrence of end, or null when the text
// ends first.
const char* After(const char* at, const char* end) {
  const char* found = std::strstr(at, end);
  return found != nullptr ? found + std::strlen(end) : nullptr;
}

// After "<!DOCTYPE ": up to ">", with "[" ... "]" groups nested by count.
const char* AfterDoctype(const char* at) {
  while (*at != '>') {
    if (*at == '\0') return nullptr;
    if (*at++ != '[') continue;
    for (int depth = 1; depth > 0; ++at) {
      if (*at == '\0') return nullptr;
      if (*at == '[') ++depth;
      if (*at == ']') --depth;
    }
  }
  return at + 1;
}

bool Matches(const char* at, const char* word) {
  return std::strncmp(at, word, std::strlen(word)) == 0;
}

// After "<!": a comment, CDATA, a document type, or anything up to ">".
const char* AfterMarkup(const char* at) {
  if (Matches(at, "!--")) return After(at + 3, "-->");
  if (Matches(at, "![CDATA[")) return After(at + 8, "]]>");
  if (Matches(at, "!DOCTYPE") && In(Tables::lookup_whitespace, at + 8)) return AfterDoctype(at + 9);
  return After(at + 1, ">");
}

// The attributes of a start tag, from the first one to what follows the
// last value and its blanks; null on a syntax error.
const char* AfterAttributes(const char* at) {
  while (In(Tables::lookup_attribute_name, at)) {
    at = Skip(Tables::lookup_whitespace, Skip(Tables::lookup_attribute_name, at + 1));
    if (*at != '=') return nullptr;
    at = Skip(Tables::lookup_whitespace, at + 1);
    char quote = *at;
    if (quote != '\'' && quote != '"') return nullptr;
    const unsigned char* value =
        quote == '\'' ? Tables::lookup_attribute_data_1 : Tables::lookup_attribute_data_2;
    at = Skip(value, at + 1);
    if (*at != quote) return nullptr;
    at = Skip(Tables::lookup_whitespace, at + 1);
  }
  return at;
}

// One walk over the text; depth is the number of open elements.
class NestingScan {
 public:
  explicit NestingScan(uint32_t limit) : limit_(limit), depth_(0), deepest_(0) {}

  uint32_t Run(const char* at) {
    if (Matches(at, "\xEF\xBB\xBF")) at += 3;
    while (at != nullptr && deepest_ <= limit_) at = depth_ == 0 ? Document(at) : Contents(at);
    return deepest_;
  }

 private:
  // Between top-level nodes: blanks, then "<" or the end.
  const char* Document(const char* at) {
    at = Skip(Tables::lookup_whitespace, at);
    if (*at != '<') return nullptr;
    return Node(at + 1);
  }

  // Inside an element: its closing tag, a child node or text.
  const char* Contents(const char* at) {
    at = Skip(Tables::lookup_whitespace, at);
    if (*at == '\0') return nullptr;
    if (*at != '<') return Skip(Tables::lookup_text, at);
    if (at[1] != '/') return Node(at + 1);
    // Closing tag names are not compared with the open element.
    at = Skip(Tables::lookup_whitespace, Skip(Tables::lookup_node_name, at + 2));
    if (*at != '>') return nullptr;
    --depth_;
    return at + 1;
  }

  // After "<".
  const char* Node(const char* at) {
    if (*at == '?') return After(at + 1, "?>");
    if (*at == '!') return AfterMarkup(at);
    return Element(at);
  }

  const char* Element(const char* at) {
    const char* name = at;
    at = Skip(Tables::lookup_node_name, at);
    if (at == name) return nullptr;
    at = AfterAttributes(Skip(Tables::lookup_whitespace, at));
    if (at == nullptr) return nullptr;
    if (depth_ + 1 > deepest_) deepest_ = depth_ + 1;
    if (*at == '>') {
      ++depth_;
      return at + 1;
    }
    if (at[0] == '/' && at[1] == '>') return at + 2;
    return nullptr;
  }

  uint32_t limit_;
  uint32_t depth_;
  uint32_t deepest_;
};

}  // namespace

uint32_t ElementNestingDepth(const char* text, uint32_t limit) {
  return NestingScan(limit).Run(text);
}
