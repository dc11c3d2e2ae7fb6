#include "net/version_manifest_parser.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>
#include <vector>

namespace {

ManifestParseResult Parse(const std::string& text, ManifestValues& values) {
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back('\0');
  return ParseManifestText(buffer.data(), values);
}

std::string Version(const char* name, const char* major, const char* minor, const char* buildMajor,
                    const char* buildMinor) {
  return std::string("<") + name + " major=\"" + major + "\" minor=\"" + minor +
         "\" buildMajor=\"" + buildMajor + "\" buildMinor=\"" + buildMinor + "\"/>";
}

const std::string kActiveX = Version("ActiveX", "10", "3", "183", "90");
const std::string kPlugin = Version("Plugin", "11", "4", "200", "7");
const std::string kConfig = "<SAUConfig checkFrequency=\"4\"/>";
const std::string kManifest = "<version>" + kActiveX + kPlugin + kConfig + "</version>";

const ManifestValues kExpected = {
    {10, 3, 183, 90, PluginVariant::ActiveX}, {11, 4, 200, 7, PluginVariant::Plugin}, 4};

void ExpectValues(const ManifestValues& expected, const ManifestValues& actual,
                  const std::string& text) {
  const VersionRecord* e[] = {&expected.activeX, &expected.plugin};
  const VersionRecord* a[] = {&actual.activeX, &actual.plugin};
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(e[i]->major, a[i]->major) << text;
    EXPECT_EQ(e[i]->minor, a[i]->minor) << text;
    EXPECT_EQ(e[i]->buildMajor, a[i]->buildMajor) << text;
    EXPECT_EQ(e[i]->buildMinor, a[i]->buildMinor) << text;
    EXPECT_EQ(e[i]->variant, a[i]->variant) << text;
  }
  EXPECT_EQ(expected.checkFrequency, actual.checkFrequency) << text;
}

TEST(ParseManifestText, ReadsEveryValueWhateverTheOrderOfTheElements) {
  const std::string texts[] = {
      kManifest,
      "<version>" + kConfig + kPlugin + kActiveX + "</version>",
      "<version>" + kPlugin + kConfig + kActiveX + "</version>",
  };
  for (const std::string& text : texts) {
    ManifestValues values = {};
    ASSERT_EQ(ManifestParseResult::Parsed, Parse(text, values)) << text;
    ExpectValues(kExpected, values, text);
  }
}

TEST(ParseManifestText, ConvertsValuesAsStrtoulDoes) {
  struct Case {
    const char* buildMinor;
    uint32_t value;
  } cases[] = {
      {"90", 90},          {"0x1F", 0},  {"12abc", 12},           {"", 0},
      {"-1", 4294967295u}, {" 7", 7},    {"99999999999", 4294967295u},
      {"&#49;2", 12},  // character references are translated first
  };
  for (const Case& c : cases) {
    std::string text = "<version>" + Version("ActiveX", "1", "2", "3", c.buildMinor) + kPlugin +
                       "<SAUConfig checkFrequency=\"" + c.buildMinor + "\"/></version>";
    ManifestValues values = {};
    ASSERT_EQ(ManifestParseResult::Parsed, Parse(text, values)) << text;
    EXPECT_EQ(c.value, values.activeX.buildMinor) << text;
    EXPECT_EQ(c.value, values.checkFrequency) << text;
  }
}

TEST(ParseManifestText, IgnoresWhatItDoesNotRead) {
  const std::string texts[] = {
      "\xEF\xBB\xBF" + kManifest,
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + kManifest,
      "<!DOCTYPE version SYSTEM \"version.dtd\">" + kManifest,
      "<!-- current versions -->\n" + kManifest + "\n<!-- end -->",
      "<?xml-stylesheet href=\"v.xsl\"?>" + kManifest,
      "<version build=\"x\">text<other a=\"1\"/>" + kActiveX + "more<![CDATA[<version>]]>" +
          kPlugin + kConfig + "<ActiveX/></version>",
      "<version><ActiveX extra=\"1\" major=\"10\" minor=\"3\" buildMajor=\"183\" "
      "buildMinor=\"90\"><child/></ActiveX>" +
          kPlugin + "<SAUConfig other=\"9\" checkFrequency=\"4\"/></version>",
      // Closing tag names are not checked in the parser's default mode.
      "<version>" + kActiveX + kPlugin + kConfig + "</whatever>",
      " \r\n\t" + kManifest + "<trailer/>",
  };
  for (const std::string& text : texts) {
    ManifestValues values = {};
    ASSERT_EQ(ManifestParseResult::Parsed, Parse(text, values)) << text;
    ExpectValues(kExpected, values, text);
  }
}

TEST(ParseManifestText, OnlyTheFirstOfANameCounts) {
  const std::string later = Version("ActiveX", "1", "1", "1", "1");
  struct Case {
    std::string text;
    ManifestParseResult result;
  } cases[] = {
      {"<version>" + kActiveX + later + kPlugin + kConfig + "</version>",
       ManifestParseResult::Parsed},
      {"<version><ActiveX major=\"10\" major=\"1\" minor=\"3\" buildMajor=\"183\" "
       "buildMinor=\"90\"/>" +
           kPlugin + kConfig + "</version>",
       ManifestParseResult::Parsed},
      {kManifest + "<version/>", ManifestParseResult::Parsed},
      // The first element lacks an attribute that a later one has.
      {"<version><ActiveX major=\"10\"/>" + kActiveX + kPlugin + kConfig + "</version>",
       ManifestParseResult::Incomplete},
      {"<version>" + kActiveX + kPlugin + "<SAUConfig/>" + kConfig + "</version>",
       ManifestParseResult::Incomplete},
      {"<version/>" + kManifest, ManifestParseResult::Incomplete},
  };
  for (const Case& c : cases) {
    ManifestValues values = {};
    ASSERT_EQ(c.result, Parse(c.text, values)) << c.text;
    if (c.result == ManifestParseResult::Parsed) ExpectValues(kExpected, values, c.text);
  }
}

TEST(ParseManifestText, MissingPiecesLeaveTheValuesAlone) {
  const std::string texts[] = {
      "",
      "   ",
      "<version>" + kActiveX + kPlugin + "</version>",
      "<version>" + kActiveX + kPlugin + "<SAUConfig/></version>",
      "<version>" + kActiveX + kPlugin + "<SAUConfig checkfrequency=\"4\"/></version>",
      "<version>" + kActiveX + kConfig + "</version>",
      "<version>" + kPlugin + kConfig + "</version>",
      "<version><ActiveX major=\"10\" minor=\"3\" buildMajor=\"183\"/>" + kPlugin + kConfig +
          "</version>",
      "<version>" + kActiveX + "<Plugin major=\"1\" minor=\"2\" buildminor=\"3\" buildMajor=\"4\"/>" +
          kConfig + "</version>",
      "<Version>" + kActiveX + kPlugin + kConfig + "</Version>",
      "<root>" + kManifest + "</root>",
      "<version><activex major=\"1\" minor=\"2\" buildMajor=\"3\" buildMinor=\"4\"/>" + kPlugin +
          kConfig + "</version>",
      "<html><head><title>Not Found</title></head><body><h1>404</h1></body></html>",
  };
  const ManifestValues sentinel = {
      {7, 7, 7, 7, PluginVariant::Plugin}, {7, 7, 7, 7, PluginVariant::ActiveX}, 7};
  for (const std::string& text : texts) {
    ManifestValues values = sentinel;
    ASSERT_EQ(ManifestParseResult::Incomplete, Parse(text, values)) << text;
    ExpectValues(sentinel, values, text);
  }
}

TEST(ParseManifestText, RefusesTextThatIsNotWellFormed) {
  const std::string texts[] = {
      "garbage",
      "version",
      kManifest.substr(0, kManifest.size() / 2),
      kManifest.substr(0, kManifest.size() - 2),
      "<version><ActiveX major minor=\"3\"/></version>",
      "<version><ActiveX major=10/></version>",
      "<version>" + kActiveX + kPlugin + kConfig,
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>404 Not Found</title></head>\n"
      "<body><h1>Not Found</h1></body></html>\n",
      "<version><ActiveX major=\"&#99999999;\"/></version>",
      "<!-- unterminated comment " + kManifest,
  };
  for (const std::string& text : texts) {
    ManifestValues values = {};
    EXPECT_EQ(ManifestParseResult::Malformed, Parse(text, values)) << text;
  }
}

TEST(ParseManifestText, ParsesInPlace) {
  std::string text = kManifest;
  ManifestValues values = {};
  ASSERT_EQ(ManifestParseResult::Parsed, ParseManifestText(&text[0], values));
  // Value texts are terminated inside the buffer itself.
  EXPECT_NE(kManifest, text);
  EXPECT_EQ(kManifest.size(), text.size());
}

// Allocation hooks for the parser's node memory: beyond its built-in pool it
// asks these, and the second one runs out.
int allocations = 0;
void* AllocateOrRunOut(std::size_t size) {
  if (++allocations > 1) throw std::bad_alloc();
  return std::malloc(size);
}
void* Allocate(std::size_t size) {
  ++allocations;
  return std::malloc(size);
}

std::string ManifestWithManyElements() {
  std::string text = "<version>";
  for (int i = 0; i < 5000; ++i) text += "<filler a=\"1\" b=\"2\"/>";
  return text + kActiveX + kPlugin + kConfig + "</version>";
}

TEST(ParseManifestText, RunningOutOfMemoryIsReportedNotThrown) {
  const std::string text = ManifestWithManyElements();
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back('\0');
  const ManifestParserMemory memory = {AllocateOrRunOut, std::free};
  allocations = 0;
  ManifestValues values = {};
  EXPECT_EQ(ManifestParseResult::OutOfMemory, ParseManifestText(buffer.data(), values, &memory));
  EXPECT_EQ(2, allocations);
}

TEST(ParseManifestText, LargeDocumentsParseWithTheirOwnMemory) {
  const std::string text = ManifestWithManyElements();
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back('\0');
  const ManifestParserMemory memory = {Allocate, std::free};
  allocations = 0;
  ManifestValues values = {};
  ASSERT_EQ(ManifestParseResult::Parsed, ParseManifestText(buffer.data(), values, &memory));
  EXPECT_GT(allocations, 1);
  ExpectValues(kExpected, values, "many elements");
}

}  // namespace

namespace {

// The manifest's ActiveX element holding a chain of elements, so that the
// document nests levels deep in all (version, ActiveX, then the chain).
std::string ManifestNested(int levels) {
  std::string chain;
  for (int i = 2; i < levels; ++i) chain += "<n>";
  for (int i = 2; i < levels; ++i) chain += "</n>";
  return "<version><ActiveX major=\"10\" minor=\"3\" buildMajor=\"183\" buildMinor=\"90\">" +
         chain + "</ActiveX>" + kPlugin + kConfig + "</version>";
}

TEST(ParseManifestText, NestingUpToTheLimitParses) {
  ManifestValues values = {};
  ASSERT_EQ(ManifestParseResult::Parsed, Parse(ManifestNested(kMaxManifestNesting), values));
  ExpectValues(kExpected, values, "nested to the limit");
}

std::string Repeated(const std::string& piece, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += piece;
  return text;
}

// Deep nesting would exhaust the stack in the parser's recursion; it is
// refused before parsing, as malformed, and the values stay untouched.
TEST(ParseManifestText, RefusesNestingBeyondTheLimit) {
  const std::string texts[] = {
      ManifestNested(kMaxManifestNesting + 1),
      Repeated("<a>", 1000000),
      Repeated("<a x='1'>", 150000) + Repeated("</a>", 150000),
      "<version>" + Repeated("<!-- c --><n>", 200000) + kActiveX + kPlugin + kConfig,
  };
  for (const std::string& text : texts) {
    ManifestValues values = kExpected;
    EXPECT_EQ(ManifestParseResult::Malformed, Parse(text, values)) << text.substr(0, 80);
    ExpectValues(kExpected, values, text.substr(0, 80));
  }
}

}  // namespace
