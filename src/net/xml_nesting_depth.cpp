#include "net/xml_nesting_depth.h"

#include <rapidxml.hpp>

#include <cstring>

namespace {

// The parser's own character tables, so that names, blanks, text and
// attribute values end exactly where the parser ends them.
using Tables = rapidxml::internal::lookup_tables<0>;

// Each step below moves at past one construct and returns true, or returns
// false with at where the parser reports its syntax error.

bool In(const unsigned char* table, const char* at) {
  return table[static_cast<unsigned char>(*at)] != 0;
}

const char* Skip(const unsigned char* table, const char* at) {
  while (In(table, at)) ++at;
  return at;
}

bool Matches(const char* at, const char* word) {
  return std::strncmp(at, word, std::strlen(word)) == 0;
}

// Past the first occurrence of end; the error is at the end of the text.
bool SkipPast(const char*& at, const char* end) {
  const char* found = std::strstr(at, end);
  if (found == nullptr) {
    at += std::strlen(at);
    return false;
  }
  at = found + std::strlen(end);
  return true;
}

// After "<!DOCTYPE ": up to ">", with "[" ... "]" groups nested by count.
bool SkipDoctype(const char*& at) {
  while (*at != '>') {
    if (*at == '\0') return false;
    if (*at++ != '[') continue;
    for (int depth = 1; depth > 0; ++at) {
      if (*at == '\0') return false;
      if (*at == '[') ++depth;
      if (*at == ']') --depth;
    }
  }
  ++at;
  return true;
}

// After "<!": a comment, CDATA, a document type, or anything up to ">".
bool SkipMarkup(const char*& at) {
  if (Matches(at, "!--")) return SkipPast(at += 3, "-->");
  if (Matches(at, "![CDATA[")) return SkipPast(at += 8, "]]>");
  if (Matches(at, "!DOCTYPE") && In(Tables::lookup_whitespace, at + 8)) {
    return SkipDoctype(at += 9);
  }
  return SkipPast(at += 1, ">");
}

// The attributes of a start tag, up to what follows the last value and its
// blanks.
bool SkipAttributes(const char*& at) {
  while (In(Tables::lookup_attribute_name, at)) {
    at = Skip(Tables::lookup_whitespace, Skip(Tables::lookup_attribute_name, at + 1));
    if (*at != '=') return false;
    at = Skip(Tables::lookup_whitespace, at + 1);
    char quote = *at;
    if (quote != '\'' && quote != '"') return false;
    const unsigned char* value =
        quote == '\'' ? Tables::lookup_attribute_data_1 : Tables::lookup_attribute_data_2;
    at = Skip(value, at + 1);
    if (*at != quote) return false;
    at = Skip(Tables::lookup_whitespace, at + 1);
  }
  return true;
}

// One walk over the text; depth is the number of open elements.
class NestingScan {
 public:
  explicit NestingScan(uint32_t limit) : limit_(limit), depth_(0), deepest_(0) {}

  uint32_t Run(const char*& at) {
    if (Matches(at, "\xEF\xBB\xBF")) at += 3;
    bool going = true;
    while (going && deepest_ <= limit_) going = depth_ == 0 ? Document(at) : Contents(at);
    return deepest_;
  }

 private:
  // Between top-level nodes: blanks, then "<" or the end (which ends the
  // walk as an error would).
  bool Document(const char*& at) {
    at = Skip(Tables::lookup_whitespace, at);
    if (*at != '<') return false;
    return Node(++at);
  }

  // Inside an element: its closing tag, a child node or text.
  bool Contents(const char*& at) {
    at = Skip(Tables::lookup_whitespace, at);
    if (*at == '\0') return false;
    if (*at != '<') {
      at = Skip(Tables::lookup_text, at);
      return true;
    }
    if (at[1] != '/') return Node(++at);
    // Closing tag names are not compared with the open element.
    at = Skip(Tables::lookup_whitespace, Skip(Tables::lookup_node_name, at + 2));
    if (*at != '>') return false;
    --depth_;
    ++at;
    return true;
  }

  // After "<".
  bool Node(const char*& at) {
    if (*at == '?') return SkipPast(++at, "?>");
    if (*at == '!') return SkipMarkup(at);
    return Element(at);
  }

  bool Element(const char*& at) {
    const char* name = at;
    at = Skip(Tables::lookup_node_name, at);
    if (at == name || !SkipAttributes(at = Skip(Tables::lookup_whitespace, at))) return false;
    if (depth_ + 1 > deepest_) deepest_ = depth_ + 1;
    if (*at == '>') {
      ++depth_;
      ++at;
      return true;
    }
    if (*at != '/') return false;
    if (*++at != '>') return false;
    ++at;
    return true;
  }

  uint32_t limit_;
  uint32_t depth_;
  uint32_t deepest_;
};

}  // namespace

uint32_t ElementNestingDepth(const char* text, uint32_t limit, const char** end) {
  const char* at = text;
  uint32_t deepest = NestingScan(limit).Run(at);
  if (end != nullptr) *end = at;
  return deepest;
}
