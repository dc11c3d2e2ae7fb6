#include "update/installer_launch.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "net/installer_download.h"
#include "settings/auto_update_policy.h"
#include "support/log_capture.h"
#include "support/package_corpus.h"
#include "support/package_server.h"
#include "support/standin_installer.h"
#include "support/test_files.h"

namespace {

const char kActiveXPath[] = "/pub/plumixplayer/update/current/sau/11/install/install_all_win_ax_sgn.z";
const char kPluginPath[] = "/pub/plumixplayer/update/current/sau/11/install/install_all_win_pl_sgn.z";

VersionRecord Record(PluginVariant variant) { return VersionRecord{12, 0, 0, 1, variant}; }

class InstallUpdateTest : public testing::Test {
 protected:
  void SetUp() override { context_.policy.PackageHost = PackageServer::Address(); }

  std::wstring Installer() const { return log_.folder() + L"\\" + kInstallerFileName; }

  ScopedPluginRegistrations registrations_;
  LogCapture log_;
  PackageServer server_;
  ServiceContext context_{L"", AutoUpdatePolicy(), kSystemPlatform};
};

}  // namespace

TEST_F(InstallUpdateTest, StartsTheVerifiedInstallerWhichRegistersItsVersion) {
  struct Case {
    PluginVariant variant;
    const char* path;
    const char* package;
    const wchar_t* key;
    const wchar_t* chosen;
  } cases[] = {
      {PluginVariant::ActiveX, kActiveXPath, "valid-sha256-intermediate", L"ActiveX", L"1600"},
      {PluginVariant::Plugin, kPluginPath, "valid-plugin-standin", L"Plugin", L"1601"},
  };
  for (const Case& c : cases) {
    LogCapture log;
    server_.Serve(c.path, ReadCorpusPackage(c.package));
    EXPECT_TRUE(InstallUpdate(Record(c.variant), context_));
    std::wstring installer = log.folder() + L"\\" + kInstallerFileName;
    std::map<std::string, std::string> record = WaitForStandinRecord(installer);
    EXPECT_EQ("PlumixPlayerInstaller.exe -install -iv 9", record["command-line"]);
    EXPECT_TRUE(WaitForStandinExit(record));
    EXPECT_EQ(L"12.0.0.1", RegisteredPluginVersion(c.key));
    EXPECT_EQ((std::vector<std::wstring>{c.chosen, L"1602"}), log.Messages());
  }
}

TEST_F(InstallUpdateTest, RefusedPackageStartsNothing) {
  server_.Serve(kActiveXPath, ReadCorpusPackage("leaf-as-issuer"));
  EXPECT_FALSE(InstallUpdate(Record(PluginVariant::ActiveX), context_));
  std::vector<std::wstring> messages = log_.Messages();
  ASSERT_EQ(2u, messages.size());
  EXPECT_EQ(0u, messages[1].find(L"1217 "));
  EXPECT_FALSE(FileExists(Installer()));
  EXPECT_FALSE(FileExists(StandinRecordPath(Installer())));
  EXPECT_EQ(L"", RegisteredPluginVersion(L"ActiveX"));
}
