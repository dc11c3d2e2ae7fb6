#include "net/xml_nesting_depth.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Nested(const std::string& open, const std::string& close, int levels) {
  std::string text;
  for (int i = 0; i < levels; ++i) text += open;
  for (int i = 0; i < levels; ++i) text += close;
  return text;
}

// Markup that looks like elements but is not one for the parser must not
// count, and whatever does open an element must.
TEST(ElementNestingDepth, CountsWhatTheParserNests) {
  struct Case {
    const char* what;
    std::string text;
    uint32_t depth;
  } cases[] = {
      {"empty", "", 0},
      {"blanks only", " \r\n\t", 0},
      {"one self-closing element", "<a/>", 1},
      {"a manifest", "<version><ActiveX major=\"1\"/><Plugin/><SAUConfig/></version>", 2},
      {"siblings do not add up", "<a></a><b><c/></b><d></d>", 2},
      {"byte-order mark", "\xEF\xBB\xBF<a><b></b></a>", 2},
      {"text between elements", "<a>x<b>y &lt; z<c/>w</b>v</a>", 3},
      {"closing names are not compared", "<a><b></x></y><c/>", 2},
      {"closing tag with blanks", "<a><b></b  ><c><d/></c></a>", 3},
      {"elements in a comment", "<a><!-- <b><c><d> --></a>", 1},
      {"elements in CDATA", "<a><![CDATA[<b><c><d>]]></a>", 1},
      {"elements in a processing instruction", "<?pi <b><c> ?><a/>", 1},
      {"elements in a declaration", "<?xml version=\"<b><c>\"?><a/>", 1},
      {"elements in a document type", "<!DOCTYPE a [<!ELEMENT a [<b>]>]><a/>", 1},
      {"unknown markup up to >", "<!ELEMENT b><a/>", 1},
      {"elements in a double-quoted value", "<a x=\"<b><c>'\"><d/></a>", 2},
      {"elements in a single-quoted value", "<a x='<b><c>\"'><d/></a>", 2},
      {"closing tags in a value", "<a x=\"</a></a>\"><b x='</b>'><c/></b></a>", 3},
      {"slash-gt in text does not close", "<a>/><b>/></b></a>", 2},
      {"nested deep", Nested("<e>", "</e>", 50), 50},
      {"nested with attributes", Nested("<e a='1' b=\"2\" >", "</e>", 7), 7},
      {"unclosed elements still count", "<a><b><c>", 3},
      {"ends at an error: no element name", "<a>< b><c><d>", 1},
      {"ends at an error: unquoted value", "<a><b x=1><c><d>", 1},
      {"ends at an error: text at top level", "x<a><b>", 0},
      {"ends at an error: unterminated comment", "<a><!-- <b><c>", 1},
      {"ends at an error: closing tag without >", "<a><b></b x><c><d>", 2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.depth, ElementNestingDepth(c.text.c_str(), 1000)) << c.what;
  }
}

// The scan ends where the parser reports its error, or at the end.
TEST(ElementNestingDepth, EndsWhereTheParserWouldStop) {
  struct Case {
    std::string text;
    size_t end;
  } cases[] = {
      {"<a><b/></a>  ", 13},  // at the end of the text
      {"<a><b x=1>", 8},      // at the unquoted value
      {"<a><b/ >", 6},        // after "/", where ">" is missing
      {"<a></b x>", 7},       // where the closing tag's ">" is missing
      {"<a><!-- open", 12},   // at the end: the comment never closes
      {"<a>< b>", 4},         // at the missing element name
      {"<a>text", 7},         // at the end, inside the element
      {"x<a>", 0},            // text before the first element
  };
  for (const Case& c : cases) {
    const char* end = nullptr;
    ElementNestingDepth(c.text.c_str(), 1000, &end);
    EXPECT_EQ(c.end, static_cast<size_t>(end - c.text.c_str())) << c.text;
  }
}

TEST(ElementNestingDepth, StopsOnceTheLimitIsPassed) {
  const std::string deep = Nested("<e>", "</e>", 100000);
  EXPECT_EQ(11u, ElementNestingDepth(deep.c_str(), 10));
  EXPECT_EQ(1001u, ElementNestingDepth(deep.c_str(), 1000));
  EXPECT_EQ(100000u, ElementNestingDepth(deep.c_str(), 100000));
}

}  // namespace
