#include "install_request.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

TEST(InstallRequestTest, UpdateModesInAnyLetterCaseNameTheirSwitches) {
  struct Case {
    const wchar_t* mode;
    const wchar_t* switchText;
    bool silent;
  };
  for (const Case& c : {Case{L"silent", L"-setSilentAutoUpdate", true},
                        Case{L"SILENT", L"-setSilentAutoUpdate", true},
                        Case{L"Notify", L"-setNotifyAutoUpdate", false},
                        Case{L"disable", L"-setDisableAutoUpdate", false}}) {
    const UpdateModeRule* rule = FindUpdateMode(c.mode);
    ASSERT_NE(nullptr, rule) << c.mode;
    EXPECT_STREQ(c.switchText, rule->switchText) << c.mode;
    EXPECT_EQ(c.silent, rule->silent) << c.mode;
  }
}

TEST(InstallRequestTest, OtherUpdateModesHaveNoSwitch) {
  for (const wchar_t* mode : {L"", L"silentx", L"silen", L" silent", L"1", L"on", L"disabled"}) {
    EXPECT_EQ(nullptr, FindUpdateMode(mode)) << mode;
  }
}

TEST(InstallRequestTest, OnlyHostNamesAndAddressesAloneAreAccepted) {
  const std::wstring label(63, L'a');
  // 253 characters, the longest name.
  const std::wstring longest = label + L"." + label + L"." + label + L"." + std::wstring(61, L'd');
  for (const std::wstring& name :
       std::vector<std::wstring>{L"plumix-mirror.corp.example", L"127.0.0.6", L"localhost",
                                 L"A1-b2.EXAMPLE", L"x", label, longest}) {
    EXPECT_TRUE(IsHostName(name)) << name;
  }
  for (const std::wstring& text : std::vector<std::wstring>{
           L"", L"https://mirror.example", L"mirror.example:443", L"mirror.example/pub",
           L"user@mirror.example", L"mirror example", L"mirror.example.", L".mirror.example",
           L"mirror..example", L"-mirror.example", L"mirror-.example", L"mirror_1.example",
           L"[::1]", L"::1", L"mirror.example\\x", L"mirr\u00f6r.example", L"a|b", label + L"a",
           longest + L"d"}) {
    EXPECT_FALSE(IsHostName(text)) << text;
  }
}

TEST(InstallRequestTest, AnEmptyRequestPasses) {
  EXPECT_TRUE(RefusalsOf(PackageProperties()).empty());
  PackageProperties full;
  full.updateMode = L"disable";
  full.serverDomain = L"mirror.example";
  full.verboseLogging = L"0";
  full.removeData = L"1";
  EXPECT_TRUE(RefusalsOf(full).empty());
}

TEST(InstallRequestTest, EachWrongPropertyIsOneLineNamingItsValue) {
  PackageProperties properties;
  properties.newerVersionInstalled = true;
  properties.updateMode = L"quiet";
  properties.serverDomain = L"http://mirror.example/";
  properties.verboseLogging = L"yes";
  properties.removeData = L"true";
  std::vector<std::wstring> refusals = RefusalsOf(properties);
  ASSERT_EQ(5u, refusals.size());
  EXPECT_NE(std::wstring::npos, refusals[0].find(L"A newer version"));
  EXPECT_EQ(L"UPDATEMODE must be silent, notify or disable, not \"quiet\".", refusals[1]);
  EXPECT_EQ(L"SERVERDOMAIN must be a host name or IPv4 address alone, without a scheme, port or "
            L"path, not \"http://mirror.example/\".",
            refusals[2]);
  EXPECT_EQ(L"VERBOSELOGGING must be 1 or 0, not \"yes\".", refusals[3]);
  EXPECT_EQ(L"REMOVEDATA must be 1 or 0, not \"true\".", refusals[4]);
}

TEST(InstallRequestTest, KeptUpdateStateRoundTrips) {
  struct Case {
    const wchar_t* text;
    bool hasLast;
    uint64_t last;
    bool hasAttempts;
    uint32_t attempts;
  };
  for (const Case& c : {Case{L"134000000000000000,3", true, 134000000000000000u, true, 3},
                        Case{L"0,0", true, 0, true, 0},
                        Case{L",7", false, 0, true, 7},
                        Case{L"18446744073709551615,", true, 18446744073709551615u, false, 0},
                        Case{L",4294967295", false, 0, true, 4294967295u},
                        Case{L",", false, 0, false, 0}}) {
    KeptUpdateState state;
    ASSERT_TRUE(ParseKeptUpdateState(c.text, state)) << c.text;
    EXPECT_EQ(c.hasLast, state.hasLastUpdateCheck) << c.text;
    EXPECT_EQ(c.last, state.lastUpdateCheck) << c.text;
    EXPECT_EQ(c.hasAttempts, state.hasUpdateAttempts) << c.text;
    EXPECT_EQ(c.attempts, state.updateAttempts) << c.text;
    EXPECT_EQ(c.text, FormatKeptUpdateState(state));
  }
  KeptUpdateState none;
  ASSERT_TRUE(ParseKeptUpdateState(L"", none));
  EXPECT_FALSE(none.hasLastUpdateCheck || none.hasUpdateAttempts);
}

TEST(InstallRequestTest, MalformedKeptUpdateStateIsRefused) {
  for (const wchar_t* text : {L"1", L"1,2,3", L"a,1", L"1,-1", L"1, 2", L"0x1,2",
                              L"18446744073709551616,1", L",4294967296"}) {
    KeptUpdateState state;
    EXPECT_FALSE(ParseKeptUpdateState(text, state)) << text;
    EXPECT_FALSE(state.hasLastUpdateCheck || state.hasUpdateAttempts) << text;
  }
}

TEST(InstallRequestTest, ConfigurationDataCarriesTheSixFields) {
  ServiceConfiguration configuration;
  ASSERT_TRUE(ParseServiceConfiguration(
      L"C:\\Program Files\\Quorvel\\Plumix Player\\PlumixPlayerUpdateService.exe|Silent|"
      L"127.0.0.6|1|1|123456789,3",
      configuration));
  EXPECT_EQ(L"C:\\Program Files\\Quorvel\\Plumix Player\\PlumixPlayerUpdateService.exe",
            configuration.program);
  EXPECT_EQ(L"Silent", configuration.updateMode);
  EXPECT_EQ(L"127.0.0.6", configuration.serverDomain);
  EXPECT_EQ(L"1", configuration.verboseLogging);
  EXPECT_TRUE(configuration.createTask);
  EXPECT_TRUE(configuration.keptState.hasLastUpdateCheck);
  EXPECT_EQ(123456789u, configuration.keptState.lastUpdateCheck);
  EXPECT_TRUE(configuration.keptState.hasUpdateAttempts);
  EXPECT_EQ(3u, configuration.keptState.updateAttempts);

  ServiceConfiguration nothingGiven;
  ASSERT_TRUE(ParseServiceConfiguration(L"C:\\p.exe|||||", nothingGiven));
  EXPECT_EQ(L"C:\\p.exe", nothingGiven.program);
  EXPECT_EQ(L"", nothingGiven.updateMode + nothingGiven.serverDomain + nothingGiven.verboseLogging);
  EXPECT_FALSE(nothingGiven.createTask || nothingGiven.keptState.hasLastUpdateCheck ||
               nothingGiven.keptState.hasUpdateAttempts);
}

TEST(InstallRequestTest, MalformedConfigurationDataIsRefused) {
  for (const wchar_t* data :
       {L"", L"C:\\p.exe||||", L"C:\\p.exe||||||", L"|||||", L"C:\\p.exe|quiet||||",
        L"C:\\p.exe||a/b|||", L"C:\\p.exe|||2||", L"C:\\p.exe||||yes|",
        L"C:\\p.exe|||||1"}) {
    ServiceConfiguration configuration;
    EXPECT_FALSE(ParseServiceConfiguration(data, configuration)) << data;
  }
}
