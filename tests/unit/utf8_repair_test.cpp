#include "common/utf8_repair.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kFFFD = "\xEF\xBF\xBD";

TEST(RepairedUtf8, KeepsWellFormedText) {
  const char* texts[] = {
      "",
      "update.example.com",
      "h\xC3\xA9st",       // U+00E9
      "\xE2\x82\xAC",      // U+20AC
      "\xED\x9F\xBF",      // U+D7FF, the last before the surrogates
      "\xEE\x80\x80",      // U+E000, the first after them
      "\xF0\x9F\x98\x80",  // U+1F600
      "\xF4\x8F\xBF\xBF",  // U+10FFFF
      "\x01\x7F control and DEL",
  };
  for (const char* text : texts) EXPECT_EQ(text, RepairedUtf8(text)) << text;
}

// An ill-formed byte is never dropped: dropping is what could join the text
// around it into another host name.
TEST(RepairedUtf8, ReplacesEveryIllFormedPart) {
  struct Case {
    const char* what;
    const char* text;
    std::string repaired;
  } cases[] = {
      {"stray byte between digits", "127.0.8\xFF.8", "127.0.8" + kFFFD + ".8"},
      {"continuation byte alone",
       "a\x80"
       "b",
       "a" + kFFFD + "b"},
      {"overlong dot",
       "127.0.8\xC0\xAE"
       "8",
       "127.0.8" + kFFFD + kFFFD + "8"},
      {"overlong three-byte form", "\xE0\x80\xAF", kFFFD + kFFFD + kFFFD},
      {"surrogate", "\xED\xA0\x80", kFFFD + kFFFD + kFFFD},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", kFFFD + kFFFD + kFFFD + kFFFD},
      {"lead byte F5", "\xF5\x80", kFFFD + kFFFD},
      {"truncated at the end", "host\xE2\x82", "host" + kFFFD},
      {"truncated before ASCII",
       "\xF0\x9F\x98"
       "a",
       kFFFD + "a"},
      {"two truncated in a row",
       "\xC3\xE2\x82"
       "z",
       kFFFD + kFFFD + "z"},
      {"already a replacement", "\xEF\xBF\xBD", kFFFD},
  };
  for (const Case& c : cases) EXPECT_EQ(c.repaired, RepairedUtf8(c.text)) << c.what;
}

}  // namespace
