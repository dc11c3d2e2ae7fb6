#pragma once

#include <cstdint>

// The XML parser of the manifest (rapidxml with parse flags 0) descends one
// level of recursion per nested element, so a body of a few megabytes could
// nest deep enough to exhaust the service thread's stack. This scan walks
// the text the way that parser does (same character classes, comments,
// CDATA, processing instructions, declarations, document types, quoted
// attribute values), without recursion and without changing the text.
//
// Returns the deepest element nesting the parser would reach on the
// NUL-terminated text, counting every element from its start tag (a
// self-closing element counts as one level below its parent). The scan ends
// where the parser would report a syntax error, and as soon as the nesting
// exceeds limit, returning limit + 1 then. end, when given, receives where
// the scan ended: the end of the text, the position at which the parser
// reports its syntax error, or the element that passed the limit.
uint32_t ElementNestingDepth(const char* text, uint32_t limit, const char** end = nullptr);
