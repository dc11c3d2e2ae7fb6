#include "net/installer_download.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "net/download_folder.h"
#include "settings/auto_update_policy.h"
#include "support/log_capture.h"
#include "support/package_corpus.h"
#include "support/package_server.h"
#include "support/test_files.h"

namespace {

const char kActiveXPath[] = "/pub/plumixplayer/update/current/sau/11/install/install_all_win_ax_sgn.z";
const char kUserAgent[] = "Download Plumix Player Installer/1.0";

std::set<std::wstring> TemporaryFolderEntries() {
  wchar_t folder[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  std::set<std::wstring> entries;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(folder), error)) {
    entries.insert(entry.path().filename().wstring());
  }
  return entries;
}

HRESULT WINAPI FailingGuidSource(GUID*) { return E_FAIL; }

// How often the download named a folder, in the test that runs.
int guidsMade = 0;
HRESULT WINAPI CountingGuidSource(GUID* guid) {
  ++guidsMade;
  return CoCreateGuid(guid);
}

std::wstring InstallerIn(const LogCapture& log) { return log.folder() + L"\\" + kInstallerFileName; }

// Makes TMP a new folder whose path, with its final backslash, is length
// units long, and puts TMP back afterwards.
class ScopedTemporaryFolder {
 public:
  ScopedTemporaryFolder(const std::wstring& parent, size_t length) {
    wchar_t previous[1024] = {};
    hadPrevious_ = GetEnvironmentVariableW(L"TMP", previous, 1024) != 0;
    previous_ = previous;
    path_ = parent + L"\\";
    path_ += std::wstring(length - path_.size() - 1, L'd') + L"\\";
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path_), error);
    SetEnvironmentVariableW(L"TMP", path_.c_str());
  }
  ~ScopedTemporaryFolder() {
    SetEnvironmentVariableW(L"TMP", hadPrevious_ ? previous_.c_str() : nullptr);
  }
  bool Empty() const {
    std::error_code error;
    return std::filesystem::is_empty(std::filesystem::path(path_), error);
  }

 private:
  std::wstring path_;
  std::wstring previous_;
  bool hadPrevious_;
};

// Points the download at the local server, in the 32-bit layout, and checks
// after the test that the temporary-files folder holds what it held before.
class InstallerDownload : public testing::Test {
 protected:
  void SetUp() override {
    context_.policy.PackageHost = PackageServer::Address();
    before_ = TemporaryFolderEntries();
  }
  void TearDown() override {
    EXPECT_EQ(before_, TemporaryFolderEntries()) << "the download left debris behind";
  }

  bool Download(PluginVariant variant) { return DownloadInstaller(variant, context_); }

  // The one request a download of the 32-bit ActiveX package makes.
  void ExpectOneActiveXRequest() {
    std::vector<PackageServer::Request> requests = server_.NewRequests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ("GET", requests[0].method);
    EXPECT_EQ(kActiveXPath, requests[0].path);
    EXPECT_EQ(kUserAgent, requests[0].userAgent);
  }

  LogCapture log_;
  PackageServer server_;
  std::set<std::wstring> before_;
  PlatformAccess platform_ = kSystemPlatform;
  ServiceContext context_{L"", AutoUpdatePolicy(), platform_};
};

}  // namespace

class DownloadOfAcceptedPackage : public InstallerDownload,
                                  public testing::WithParamInterface<const char*> {};

TEST_P(DownloadOfAcceptedPackage, WritesTheContentAsTheInstallerFile) {
  server_.Serve(kActiveXPath, ReadCorpusPackage(GetParam()));
  EXPECT_TRUE(Download(PluginVariant::ActiveX));
  EXPECT_EQ(std::vector<std::wstring>{L"1600"}, log_.Messages());
  std::string content = ReadCorpusContent(GetParam());
  ASSERT_FALSE(content.empty());
  EXPECT_TRUE(content == ReadFileBytes(InstallerIn(log_)));
  ExpectOneActiveXRequest();
}

INSTANTIATE_TEST_SUITE_P(InstallerDownload, DownloadOfAcceptedPackage,
                         testing::Values("valid-sha256-intermediate", "valid-sha1-intermediate",
                                         "valid-sha256-direct", "valid-sha1-direct",
                                         "valid-root-copy", "valid-no-attributes",
                                         "valid-nul-content", "valid-chain-30"),
                         CorpusParamName);

class DownloadOfRefusedPackage : public InstallerDownload,
                                 public testing::WithParamInterface<const char*> {};

TEST_P(DownloadOfRefusedPackage, Logs1217AndWritesNoInstaller) {
  server_.Serve(kActiveXPath, ReadCorpusPackage(GetParam()));
  EXPECT_FALSE(Download(PluginVariant::ActiveX));
  std::vector<std::wstring> messages = log_.Messages();
  ASSERT_EQ(2u, messages.size());
  EXPECT_EQ(L"1600", messages[0]);
  EXPECT_EQ(0u, messages[1].find(L"1217 "));
  EXPECT_NE(L"1217 0", messages[1]);
  EXPECT_FALSE(FileExists(InstallerIn(log_)));
  ExpectOneActiveXRequest();
}

INSTANTIATE_TEST_SUITE_P(
    InstallerDownload, DownloadOfRefusedPackage,
    testing::Values("content-flipped", "content-flipped-no-attributes", "signature-flipped",
                    "truncated", "empty", "no-certificates", "unrelated-ca",
                    "unrelated-ca-signer-only", "expired-signer", "expired-direct-signer",
                    "expired-intermediate", "leaf-as-issuer", "self-issued-top", "chain-31",
                    "chain-33"),
    CorpusParamName);

TEST_F(InstallerDownload, NotFoundPageIsStoredReadBackAndRefused) {
  EXPECT_FALSE(Download(PluginVariant::ActiveX));
  std::vector<std::wstring> messages = log_.Messages();
  ASSERT_EQ(2u, messages.size());
  EXPECT_EQ(0u, messages[1].find(L"1217 "));
  EXPECT_FALSE(FileExists(InstallerIn(log_)));
  ExpectOneActiveXRequest();
}

TEST_F(InstallerDownload, RequestsThePackagePathOfTheVariantAndLayout) {
  struct Case {
    PluginVariant variant;
    bool wow64;
    const char* path;
    const wchar_t* event;
  } cases[] = {
      {PluginVariant::ActiveX, false,
       "/pub/plumixplayer/update/current/sau/11/install/install_all_win_ax_sgn.z", L"1600"},
      {PluginVariant::ActiveX, true,
       "/pub/plumixplayer/update/current/sau/11/install/install_all_win_64_ax_sgn.z", L"1600"},
      {PluginVariant::Plugin, false,
       "/pub/plumixplayer/update/current/sau/11/install/install_all_win_pl_sgn.z", L"1601"},
      {PluginVariant::Plugin, true,
       "/pub/plumixplayer/update/current/sau/11/install/install_all_win_64_pl_sgn.z", L"1601"},
  };
  std::string package = ReadCorpusPackage("valid-nul-content");
  for (const Case& c : cases) {
    PackageServer server;
    server.Serve(c.path, package);
    context_.policy.RunningOnWow64 = c.wow64;
    EXPECT_TRUE(Download(c.variant)) << c.path;
    std::vector<PackageServer::Request> requests = server.NewRequests();
    ASSERT_EQ(1u, requests.size()) << c.path;
    EXPECT_EQ(c.path, requests[0].path);
    EXPECT_EQ(c.event, log_.Messages().back());
  }
}

TEST_F(InstallerDownload, UnknownVariantLogs1200WithoutTraffic) {
  EXPECT_FALSE(Download(static_cast<PluginVariant>(3)));
  EXPECT_EQ(std::vector<std::wstring>{L"1200"}, log_.Messages());
  EXPECT_TRUE(server_.NewRequests().empty());
}

TEST_F(InstallerDownload, UnreachableHostLogsOne1214AndCreatesNothing) {
  // Nothing listens on this loopback address.
  context_.policy.PackageHost = L"127.0.4.1";
  EXPECT_FALSE(Download(PluginVariant::ActiveX));
  std::vector<std::wstring> messages = log_.Messages();
  ASSERT_EQ(2u, messages.size());
  EXPECT_EQ(L"1600", messages[0]);
  EXPECT_EQ(0u, messages[1].find(L"1214 "));
  EXPECT_NE(L"1214 0", messages[1]);
  EXPECT_FALSE(FileExists(InstallerIn(log_)));
}

TEST_F(InstallerDownload, ServerThatHangsUpLogsOne1214) {
  server_.SetFault(kActiveXPath, "close");
  EXPECT_FALSE(Download(PluginVariant::ActiveX));
  std::vector<std::wstring> messages = log_.Messages();
  ASSERT_EQ(2u, messages.size());
  EXPECT_EQ(0u, messages[1].find(L"1214 "));
}

TEST_F(InstallerDownload, BrokenTransferLeavesNoFolderOrPartialFile) {
  // The server announces the whole package, sends half and resets the
  // connection while the body is being streamed into the download folder.
  server_.Serve(kActiveXPath, ReadCorpusPackage("valid-sha256-intermediate"));
  server_.SetFault(kActiveXPath, "reset");
  EXPECT_FALSE(Download(PluginVariant::ActiveX));
  std::vector<std::wstring> messages = log_.Messages();
  ASSERT_EQ(2u, messages.size());
  EXPECT_TRUE(messages[1].find(L"1209 ") == 0 || messages[1].find(L"1211 ") == 0) << messages[1];
  EXPECT_FALSE(FileExists(InstallerIn(log_)));
}

TEST_F(InstallerDownload, BodyCutShortIsRefusedAndLeavesNothing) {
  // A clean hang-up after half the body: the platform may take it for the
  // end, and then the partial package fails verification.
  server_.Serve(kActiveXPath, ReadCorpusPackage("valid-sha256-intermediate"));
  server_.SetFault(kActiveXPath, "truncate");
  EXPECT_FALSE(Download(PluginVariant::ActiveX));
  std::wstring failure = log_.Messages().back();
  EXPECT_TRUE(failure.find(L"1209 ") == 0 || failure.find(L"1211 ") == 0 ||
              failure.find(L"1217 ") == 0)
      << failure;
  EXPECT_FALSE(FileExists(InstallerIn(log_)));
}

TEST_F(InstallerDownload, QuietOnSuccessWithoutVerboseLogging) {
  LogCapture quiet(false);
  server_.Serve(kActiveXPath, ReadCorpusPackage("valid-nul-content"));
  EXPECT_TRUE(Download(PluginVariant::ActiveX));
  EXPECT_FALSE(FileExists(quiet.LogPath()));
  EXPECT_TRUE(FileExists(InstallerIn(quiet)));
}

TEST_F(InstallerDownload, ReplacesAnEarlierInstallerFile) {
  ASSERT_TRUE(WriteFileBytes(InstallerIn(log_), std::string(100000, 'x')));
  server_.Serve(kActiveXPath, ReadCorpusPackage("valid-nul-content"));
  EXPECT_TRUE(Download(PluginVariant::ActiveX));
  EXPECT_TRUE(ReadCorpusContent("valid-nul-content") == ReadFileBytes(InstallerIn(log_)));
}

TEST_F(InstallerDownload, InstallerFileThatCannotBeCreatedLogs1215) {
  ASSERT_TRUE(CreateDirectoryW(InstallerIn(log_).c_str(), nullptr));
  server_.Serve(kActiveXPath, ReadCorpusPackage("valid-nul-content"));
  EXPECT_FALSE(Download(PluginVariant::ActiveX));
  std::vector<std::wstring> messages = log_.Messages();
  ASSERT_EQ(2u, messages.size());
  EXPECT_EQ(L"1215 5", messages[1]);
}

TEST_F(InstallerDownload, WithoutAGuidTheFolderTakesAUniqueTemporaryName) {
  platform_.createGuid = FailingGuidSource;
  server_.Serve(kActiveXPath, ReadCorpusPackage("valid-nul-content"));
  EXPECT_TRUE(Download(PluginVariant::ActiveX));
  EXPECT_EQ((std::vector<std::wstring>{L"1600", L"1426"}), log_.Messages());
  EXPECT_TRUE(FileExists(InstallerIn(log_)));
}

TEST_F(InstallerDownload, TemporaryPathThatLeavesRoomForTheFolderIsUsed) {
  // 213 units, a 38-unit GUID, a backslash and "pxi.tmp": 259, the most
  // that fits in 260 units with the terminator.
  ScopedTemporaryFolder temporary(log_.folder(), 213);
  server_.Serve(kActiveXPath, ReadCorpusPackage("valid-nul-content"));
  EXPECT_TRUE(Download(PluginVariant::ActiveX));
  EXPECT_EQ(std::vector<std::wstring>{L"1600"}, log_.Messages());
  EXPECT_TRUE(temporary.Empty());
}

TEST_F(InstallerDownload, TemporaryPathTooLongForTheDownloadFileFailsWith1206) {
  ScopedTemporaryFolder temporary(log_.folder(), 214);
  server_.Serve(kActiveXPath, ReadCorpusPackage("valid-nul-content"));
  EXPECT_FALSE(Download(PluginVariant::ActiveX));
  EXPECT_EQ((std::vector<std::wstring>{L"1600", L"1206 206"}), log_.Messages());
  EXPECT_TRUE(temporary.Empty());
  EXPECT_FALSE(FileExists(InstallerIn(log_)));
}

TEST_F(InstallerDownload, TemporaryPathLongerThanItsBufferFailsWith1201) {
  // TMP names a path of 300 units, which GetTempPathW cannot hand back in 260.
  wchar_t previous[1024] = {};
  bool hadPrevious = GetEnvironmentVariableW(L"TMP", previous, 1024) != 0;
  std::wstring tooLong = L"C:\\" + std::wstring(296, L't') + L"\\";
  SetEnvironmentVariableW(L"TMP", tooLong.c_str());
  server_.Serve(kActiveXPath, ReadCorpusPackage("valid-nul-content"));
  bool downloaded = Download(PluginVariant::ActiveX);
  SetEnvironmentVariableW(L"TMP", hadPrevious ? previous : nullptr);
  EXPECT_FALSE(downloaded);
  std::vector<std::wstring> messages = log_.Messages();
  ASSERT_EQ(2u, messages.size());
  EXPECT_EQ(0u, messages[1].find(L"1201 "));
  EXPECT_FALSE(FileExists(InstallerIn(log_)));
}

// The bounds of one download, shortened through the platform where a test
// would otherwise send half a gigabyte or wait two hours.
TEST_F(InstallerDownload, BodyWithoutALengthIsTakenUpToTheByteBoundExactly) {
  std::string package = ReadCorpusPackage("valid-nul-content");
  ASSERT_FALSE(package.empty());
  server_.Serve(kActiveXPath, package);
  server_.SetFault(kActiveXPath, "unannounced");
  struct Case {
    uint32_t bound;
    std::vector<std::wstring> messages;
  } const cases[] = {
      {static_cast<uint32_t>(package.size()), {L"1600"}},
      {static_cast<uint32_t>(package.size() - 1), {L"1600", L"1209 223"}},
  };
  for (const Case& c : cases) {
    LogCapture log;
    platform_.bounds.maxPackageBytes = c.bound;
    EXPECT_EQ(c.messages.size() == 1, Download(PluginVariant::ActiveX)) << c.bound;
    EXPECT_EQ(c.messages, log.Messages()) << c.bound;
    EXPECT_EQ(c.messages.size() == 1, FileExists(InstallerIn(log))) << c.bound;
  }
}

TEST_F(InstallerDownload, EndlessBodyEndsAtTheByteBound) {
  platform_.bounds.maxPackageBytes = 1 << 20;
  server_.Serve(kActiveXPath, ReadCorpusPackage("valid-nul-content"));
  server_.SetFault(kActiveXPath, "endless");
  EXPECT_FALSE(Download(PluginVariant::ActiveX));
  EXPECT_EQ((std::vector<std::wstring>{L"1600", L"1209 223"}), log_.Messages());
  EXPECT_FALSE(FileExists(InstallerIn(log_)));
  ExpectOneActiveXRequest();
}

// However many characters the length is written in: leading zeros must not
// take it past the early refusal into streaming up to the byte bound.
TEST_F(InstallerDownload, LengthAnnouncedPastTheByteBoundIsRefusedBeforeAFolderIsNamed) {
  server_.Serve(kActiveXPath, ReadCorpusPackage("valid-nul-content"));
  platform_.createGuid = CountingGuidSource;
  for (const char* fault : {"falselength", "paddedlength"}) {
    LogCapture log;
    guidsMade = 0;
    server_.SetFault(kActiveXPath, fault);
    EXPECT_FALSE(Download(PluginVariant::ActiveX)) << fault;
    EXPECT_EQ((std::vector<std::wstring>{L"1600", L"1209 223"}), log.Messages()) << fault;
    EXPECT_EQ(0, guidsMade) << fault;
    EXPECT_FALSE(FileExists(InstallerIn(log))) << fault;
  }
}

namespace {

// The name of the file that ShortWriteTo writes only half of what it is given;
// every other file gets everything.
std::wstring shortWrittenFile;

BOOL WINAPI ShortWriteTo(HANDLE file, LPCVOID data, DWORD length, LPDWORD written,
                         LPOVERLAPPED overlapped) {
  wchar_t path[MAX_PATH] = {};
  std::wstring name(path, GetFinalPathNameByHandleW(file, path, MAX_PATH, 0));
  bool shortened = name.size() >= shortWrittenFile.size() &&
                   name.compare(name.size() - shortWrittenFile.size(), std::wstring::npos,
                                shortWrittenFile) == 0;
  return WriteFile(file, data, shortened ? length / 2 : length, written, overlapped);
}

}  // namespace

// Write calls that report success but write fewer bytes than they are given
// (a disk that fills up mid-write can answer so) are followed by ones for the
// rest; one that writes nothing fails the download with ERROR_WRITE_FAULT.
TEST_F(InstallerDownload, ShortWritesFailWithErrorWriteFault) {
  struct Case {
    const wchar_t* file;
    const wchar_t* failure;
  } const cases[] = {{L"\\pxi.tmp", L"1212 29"}, {L"\\PlumixPlayerInstaller.exe", L"1216 29"}};
  server_.Serve(kActiveXPath, ReadCorpusPackage("valid-nul-content"));
  platform_.writeFile = ShortWriteTo;
  for (const Case& c : cases) {
    LogCapture log;
    shortWrittenFile = c.file;
    EXPECT_FALSE(Download(PluginVariant::ActiveX)) << c.failure;
    EXPECT_EQ((std::vector<std::wstring>{L"1600", c.failure}), log.Messages());
  }
}

TEST_F(InstallerDownload, DripFedBodyEndsAtTheTimeBound) {
  // A byte every half second never trips a receive time-out.
  platform_.bounds.downloadSeconds = 2;
  server_.Serve(kActiveXPath, ReadCorpusPackage("valid-nul-content"));
  server_.SetFault(kActiveXPath, "drip");
  EXPECT_FALSE(Download(PluginVariant::ActiveX));
  EXPECT_EQ((std::vector<std::wstring>{L"1600", L"1209 1460"}), log_.Messages());
  EXPECT_FALSE(FileExists(InstallerIn(log_)));
}
