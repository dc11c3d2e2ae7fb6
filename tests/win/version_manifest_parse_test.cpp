#include "net/version_manifest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/log_capture.h"

namespace {

const char kManifest[] =
    "<version><ActiveX major=\"10\" minor=\"3\" buildMajor=\"183\" buildMinor=\"90\"/>"
    "<Plugin major=\"11\" minor=\"4\" buildMajor=\"200\" buildMinor=\"7\"/>"
    "<SAUConfig checkFrequency=\"2\"/></version>";

struct Outputs {
  std::optional<VersionRecord> activeX;
  std::optional<VersionRecord> plugin;
  std::optional<uint32_t> checkFrequency;
};

bool Parse(std::string text, Outputs& outputs) {
  return ParseVersionManifest(&text[0], outputs.activeX, outputs.plugin, outputs.checkFrequency);
}

TEST(ParseVersionManifest, FillsTheThreeOutputsAndLogsNothing) {
  LogCapture log(true);
  Outputs outputs;
  ASSERT_TRUE(Parse(kManifest, outputs));
  ASSERT_TRUE(outputs.activeX && outputs.plugin && outputs.checkFrequency);
  EXPECT_EQ(10u, outputs.activeX->major);
  EXPECT_EQ(3u, outputs.activeX->minor);
  EXPECT_EQ(183u, outputs.activeX->buildMajor);
  EXPECT_EQ(90u, outputs.activeX->buildMinor);
  EXPECT_EQ(PluginVariant::ActiveX, outputs.activeX->variant);
  EXPECT_EQ(11u, outputs.plugin->major);
  EXPECT_EQ(7u, outputs.plugin->buildMinor);
  EXPECT_EQ(PluginVariant::Plugin, outputs.plugin->variant);
  EXPECT_EQ(2u, *outputs.checkFrequency);
  EXPECT_TRUE(log.Messages().empty());
}

TEST(ParseVersionManifest, FailuresLogOnlyMalformedTextAndDeliverNothing) {
  struct Case {
    std::string text;
    std::vector<std::wstring> messages;
  } cases[] = {
      {"not xml", {L"1410"}},
      {std::string(kManifest).substr(0, 40), {L"1410"}},
      {"", {}},
      {"<version/>", {}},
      {"<Version/>", {}},
  };
  for (const Case& c : cases) {
    LogCapture log(true);
    Outputs outputs;
    EXPECT_FALSE(Parse(c.text, outputs)) << c.text;
    EXPECT_EQ(c.messages, log.Messages()) << c.text;
    EXPECT_FALSE(outputs.activeX || outputs.plugin || outputs.checkFrequency) << c.text;
  }
}

TEST(ParseVersionManifest, WarningsStayOutOfTheLogWithoutVerboseLogging) {
  LogCapture log(false);
  Outputs outputs;
  EXPECT_FALSE(Parse("not xml", outputs));
  EXPECT_TRUE(log.Messages().empty());
}

}  // namespace
