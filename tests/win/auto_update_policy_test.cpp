#include "settings/auto_update_policy.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log/install_log.h"
#include "support/log_capture.h"
#include "support/platform_doubles.h"
#include "support/test_files.h"

TEST(SetAutoUpdateMode, CreatesTheFileWithBothKeysInBucketOrder) {
  ScopedSettingsFolder settings;
  EXPECT_TRUE(SetAutoUpdateMode(AutoUpdateMode::Silent));
  EXPECT_EQ("AutoUpdateDisable=0\r\nSilentAutoUpdateEnable=1\r\n", settings.Read());
}

TEST(SetAutoUpdateMode, WritesTheTextsOfEachMode) {
  struct Case {
    AutoUpdateMode mode;
    const char* bytes;
  } cases[] = {
      {AutoUpdateMode::Silent, "AutoUpdateDisable=0\r\nSilentAutoUpdateEnable=1\r\n"},
      {AutoUpdateMode::Notify, "AutoUpdateDisable=0\r\nSilentAutoUpdateEnable=0\r\n"},
      {AutoUpdateMode::Disable, "AutoUpdateDisable=1\r\nSilentAutoUpdateEnable=0\r\n"},
  };
  ScopedSettingsFolder settings;
  for (const Case& c : cases) {
    EXPECT_TRUE(SetAutoUpdateMode(c.mode));
    EXPECT_EQ(c.bytes, settings.Read());
  }
}

TEST(SetAutoUpdateMode, KeepsOtherAdministratorsEntries) {
  ScopedSettingsFolder settings;
  settings.Write("# managed by IT\nSilentAutoUpdateServerDomain = mirror.example \nZ=1\n");
  EXPECT_TRUE(SetAutoUpdateMode(AutoUpdateMode::Notify));
  // "Z" shares bucket 10 with the server domain and, inserted later, comes first.
  EXPECT_EQ("AutoUpdateDisable=0\r\nSilentAutoUpdateEnable=0\r\nZ=1\r\n"
            "SilentAutoUpdateServerDomain=mirror.example\r\n",
            settings.Read());
}

TEST(SetAutoUpdateMode, UnknownModeLeavesTheFileAlone) {
  ScopedSettingsFolder settings;
  settings.Write("SilentAutoUpdateEnable=1\n");
  EXPECT_FALSE(SetAutoUpdateMode(static_cast<AutoUpdateMode>(3)));
  EXPECT_EQ("SilentAutoUpdateEnable=1\n", settings.Read());
}

// A failed save is logged as 1310 with the Windows error of the failing step,
// not the one of the clean-up after it.
void ExpectOneFailedSaveLine(const LogCapture& log) {
  std::vector<std::wstring> messages = log.Messages();
  ASSERT_EQ(1u, messages.size());
  EXPECT_EQ(0u, messages[0].rfind(L"1310 ", 0)) << messages[0];
  EXPECT_NE(L"1310 0", messages[0]);
}

TEST(SetAutoUpdateMode, MissingFolderFailsWithItsCauseLogged) {
  LogCapture log(true);
  RemoveTree(SettingsFolder());
  EXPECT_FALSE(SetAutoUpdateMode(AutoUpdateMode::Silent));
  EXPECT_FALSE(FileExists(SettingsFilePath()));
  ExpectOneFailedSaveLine(log);
}

// A settings file that cannot be replaced (another program holds it open
// without letting it be deleted) keeps its old bytes.
TEST(SetAutoUpdateMode, LockedFileSurvivesAFailedSave) {
  LogCapture log(true);
  ScopedSettingsFolder settings;
  settings.Write("SilentAutoUpdateEnable=1\nAdmin=keep\n");
  HANDLE holder = CreateFileW(SettingsFilePath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, holder);
  EXPECT_FALSE(SetAutoUpdateMode(AutoUpdateMode::Disable));
  CloseHandle(holder);
  EXPECT_EQ("SilentAutoUpdateEnable=1\nAdmin=keep\n", settings.Read());
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW((SettingsFolder() + L"\\*.tmp").c_str(), &entry);
  EXPECT_EQ(INVALID_HANDLE_VALUE, find) << "a temporary file was left behind";
  if (find != INVALID_HANDLE_VALUE) FindClose(find);
  ExpectOneFailedSaveLine(log);
}

TEST(IsSilentAutoUpdateEnabled, ReadsTheKeyAndIgnoresDisable) {
  struct Case {
    const char* file;
    bool enabled;
  } cases[] = {
      {"SilentAutoUpdateEnable=yes\nAutoUpdateDisable=1\n", true},
      {"SilentAutoUpdateEnable=1\n", true},
      {"SilentAutoUpdateEnable=0\n", false},
      {"AutoUpdateDisable=0\n", false},
  };
  ScopedSettingsFolder settings;
  for (const Case& c : cases) {
    settings.Write(c.file);
    EXPECT_EQ(c.enabled, IsSilentAutoUpdateEnabled()) << c.file;
  }
}

TEST(IsSilentAutoUpdateEnabled, NoFileMeansFalse) {
  ScopedSettingsFolder settings;
  EXPECT_FALSE(IsSilentAutoUpdateEnabled());
}

TEST(IsSilentAutoUpdateEnabled, LogsItsEventWhenOn) {
  ScopedSettingsFolder settings;
  LogCapture log(true);
  settings.Write("SilentAutoUpdateEnable=1\n");
  EXPECT_TRUE(IsSilentAutoUpdateEnabled());
  EXPECT_EQ(std::vector<std::wstring>{L"1607"}, log.Messages());
}

TEST(LoadAutoUpdatePolicy, NoFileKeepsDefaultsAndUpdatesOff) {
  ScopedSettingsFolder settings;
  LogCapture log(true);
  AutoUpdatePolicy policy;
  EXPECT_TRUE(LoadAutoUpdatePolicy(policy));
  EXPECT_FALSE(policy.AutoUpdateDisabled);
  EXPECT_FALSE(policy.SilentAutoUpdateEnabled);
  EXPECT_EQ(L"update.quorvel.com", policy.ManifestHost);
  EXPECT_EQ(L"download.quorvel.com", policy.PackageHost);
  EXPECT_EQ((std::vector<std::wstring>{L"1614", L"1616"}), log.Messages());
}

TEST(LoadAutoUpdatePolicy, VerboseSettingSwitchesOnTheLogFirst) {
  ScopedSettingsFolder settings;
  LogCapture log(false);
  settings.Write("SilentAutoUpdateVerboseLogging=1\nSilentAutoUpdateEnable=yes\nAutoUpdateDisable=1\n");
  AutoUpdatePolicy policy;
  EXPECT_TRUE(LoadAutoUpdatePolicy(policy));
  EXPECT_TRUE(VerboseLogging);
  EXPECT_TRUE(policy.AutoUpdateDisabled);
  EXPECT_TRUE(policy.SilentAutoUpdateEnabled);
  EXPECT_EQ((std::vector<std::wstring>{L"1613", L"1615"}), log.Messages());
}

TEST(LoadAutoUpdatePolicy, ServerDomainReplacesBothHosts) {
  ScopedSettingsFolder settings;
  LogCapture log(true);
  settings.Write("SilentAutoUpdateServerDomain=mirror.example.org\nSilentAutoUpdateEnable=1\n");
  AutoUpdatePolicy policy;
  EXPECT_TRUE(LoadAutoUpdatePolicy(policy));
  EXPECT_EQ(L"mirror.example.org", policy.ManifestHost);
  EXPECT_EQ(L"mirror.example.org", policy.PackageHost);
  EXPECT_EQ((std::vector<std::wstring>{L"1628 mirror.example.org", L"1629 mirror.example.org",
                                        L"1614", L"1615"}),
            log.Messages());
}

TEST(LoadAutoUpdatePolicy, ServerDomainInUtf8BecomesUtf16) {
  ScopedSettingsFolder settings;
  LogCapture log(true);
  settings.Write("SilentAutoUpdateServerDomain=b\xC3\xBC" "cher.example\n");
  AutoUpdatePolicy policy;
  EXPECT_TRUE(LoadAutoUpdatePolicy(policy));
  EXPECT_EQ(L"b\u00FCcher.example", policy.ManifestHost);
}

TEST(LoadAutoUpdatePolicy, EmptyServerDomainKeepsDefaultsSilently) {
  ScopedSettingsFolder settings;
  LogCapture log(true);
  settings.Write("SilentAutoUpdateServerDomain=   \n");
  AutoUpdatePolicy policy;
  EXPECT_TRUE(LoadAutoUpdatePolicy(policy));
  EXPECT_EQ(L"update.quorvel.com", policy.ManifestHost);
  EXPECT_EQ(L"download.quorvel.com", policy.PackageHost);
  EXPECT_EQ((std::vector<std::wstring>{L"1614", L"1616"}), log.Messages());
}

// The context keeps the platform it is given, so that a test build's
// shortened bounds reach the cycle.
TEST(CreateServiceContext, KeepsThePathAndThePlatformAndSetsTheWow64Flag) {
  ScopedSettingsFolder settings;
  LogCapture log(true);
  ServiceBounds shortened = kServiceBounds;
  shortened.cycleSeconds = 15;
  PlatformAccess platform = PlatformWith(&PlatformAccess::bounds, shortened);
  std::unique_ptr<ServiceContext> context =
      CreateServiceContext(L"C:\\x\\PlumixPlayerUpdateService.exe", platform);
  EXPECT_EQ(L"C:\\x\\PlumixPlayerUpdateService.exe", context->modulePath);
  BOOL wow64 = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64);
  EXPECT_EQ(wow64 == TRUE, context->policy.RunningOnWow64);
  EXPECT_EQ(15u, context->platform.bounds.cycleSeconds);
  EXPECT_EQ(static_cast<int32_t>(wow64), IsWow64());
  EXPECT_EQ((std::vector<std::wstring>{L"1614", L"1616"}), log.Messages());
}
