#include "net/version_manifest.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "common/unique_handle.h"
#include "settings/auto_update_policy.h"
#include "support/local_update_server.h"
#include "support/log_capture.h"
#include "support/test_files.h"
#include "update_servers/manifest.h"
#include "update_servers/manifest_untrusted.h"

namespace {

const char kManifestPath[] = "/pub/plumixplayer/update/current/sau/11/xml/version.xml";
const char kUserAgent[] = "Get Plumix Player version xml/1.0";
// Loopback, and no server of the test run listens there.
const wchar_t kUnreachableHost[] = L"127.0.2.3";

const std::string kManifest =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<version>\n"
    "  <ActiveX major=\"10\" minor=\"3\" buildMajor=\"183\" buildMinor=\"90\"/>\n"
    "  <Plugin major=\"11\" minor=\"4\" buildMajor=\"200\" buildMinor=\"7\"/>\n"
    "  <SAUConfig checkFrequency=\"4\"/>\n"
    "</version>\n";

std::string Narrow(const std::wstring& ascii) { return std::string(ascii.begin(), ascii.end()); }

class FetchVersionManifestTest : public testing::Test {
 protected:
  // The host reaches the service the way an administrator sets it: through
  // the settings file. The install log is captured from here on.
  void UseHost(const wchar_t* host, bool verbose = true) {
    settings_.Write("SilentAutoUpdateServerDomain=" + Narrow(host) + "\r\n");
    ASSERT_TRUE(LoadAutoUpdatePolicy(context_.policy));
    ASSERT_EQ(host, context_.policy.ManifestHost);
    log_.emplace(verbose);
  }

  bool Fetch() { return FetchVersionManifest(context_, activeX_, plugin_, checkFrequency_); }
  bool NothingDelivered() const { return !activeX_ && !plugin_ && !checkFrequency_; }
  std::vector<std::wstring> Messages() const { return log_->Messages(); }
  std::string ExpectedRequest() const {
    return LocalUpdateServer::RequestLine("https", kManifestPath, kUserAgent,
                                          Narrow(kManifestServer.address));
  }

  ScopedSettingsFolder settings_;
  PlatformAccess platform_ = kSystemPlatform;
  ServiceContext context_{L"", AutoUpdatePolicy(), platform_};
  LocalUpdateServer server_{kManifestServer};
  std::optional<LogCapture> log_;
  std::optional<VersionRecord> activeX_;
  std::optional<VersionRecord> plugin_;
  std::optional<uint32_t> checkFrequency_;
};

TEST_F(FetchVersionManifestTest, FetchesAndParsesTheManifestWithOneRequest) {
  server_.Serve(kManifestPath, kManifest);
  UseHost(kManifestServer.address);
  ASSERT_TRUE(Fetch());
  ASSERT_TRUE(activeX_ && plugin_ && checkFrequency_);
  EXPECT_EQ(10u, activeX_->major);
  EXPECT_EQ(3u, activeX_->minor);
  EXPECT_EQ(183u, activeX_->buildMajor);
  EXPECT_EQ(90u, activeX_->buildMinor);
  EXPECT_EQ(PluginVariant::ActiveX, activeX_->variant);
  EXPECT_EQ(11u, plugin_->major);
  EXPECT_EQ(4u, plugin_->minor);
  EXPECT_EQ(200u, plugin_->buildMajor);
  EXPECT_EQ(7u, plugin_->buildMinor);
  EXPECT_EQ(PluginVariant::Plugin, plugin_->variant);
  EXPECT_EQ(4u, *checkFrequency_);
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(std::vector<std::string>{ExpectedRequest()}, server_.NewRequests());
}

TEST_F(FetchVersionManifestTest, BadBodiesFailInTheParser) {
  struct Case {
    const char* what;
    std::string body;
    std::vector<std::wstring> messages;
  } cases[] = {
      {"malformed", "<version><ActiveX major=10/></version>", {L"1410", L"1409"}},
      {"not XML at all", "version 10.3.183.90", {L"1410", L"1409"}},
      {"truncated", kManifest.substr(0, kManifest.size() / 2), {L"1410", L"1409"}},
      {"empty", "", {L"1409"}},
      {"well-formed HTML page",
       "<html><head><title>Error</title></head><body><p>Try later</p></body></html>",
       {L"1409"}},
      {"no SAUConfig",
       "<version><ActiveX major=\"1\" minor=\"2\" buildMajor=\"3\" buildMinor=\"4\"/>"
       "<Plugin major=\"1\" minor=\"2\" buildMajor=\"3\" buildMinor=\"4\"/></version>",
       {L"1409"}},
      {"no checkFrequency",
       "<version><ActiveX major=\"1\" minor=\"2\" buildMajor=\"3\" buildMinor=\"4\"/>"
       "<Plugin major=\"1\" minor=\"2\" buildMajor=\"3\" buildMinor=\"4\"/><SAUConfig/></version>",
       {L"1409"}},
      {"root element Version",
       "<Version><ActiveX major=\"1\" minor=\"2\" buildMajor=\"3\" buildMinor=\"4\"/>"
       "<Plugin major=\"1\" minor=\"2\" buildMajor=\"3\" buildMinor=\"4\"/>"
       "<SAUConfig checkFrequency=\"1\"/></Version>",
       {L"1409"}},
  };
  UseHost(kManifestServer.address);
  for (const Case& c : cases) {
    server_.Serve(kManifestPath, c.body);
    log_.emplace(true);
    activeX_.reset(), plugin_.reset(), checkFrequency_.reset();
    EXPECT_FALSE(Fetch()) << c.what;
    EXPECT_EQ(c.messages, Messages()) << c.what;
    EXPECT_TRUE(NothingDelivered()) << c.what;
  }
}

// No status code is examined: the server's 404 page is parsed like any body,
// and its unclosed <meta> makes it malformed.
TEST_F(FetchVersionManifestTest, MissingManifestGivesTheErrorPageToTheParser) {
  UseHost(kManifestServer.address);
  EXPECT_FALSE(Fetch());
  EXPECT_EQ((std::vector<std::wstring>{L"1410", L"1409"}), Messages());
  EXPECT_TRUE(NothingDelivered());
  EXPECT_EQ(std::vector<std::string>{ExpectedRequest()}, server_.NewRequests());
}

TEST_F(FetchVersionManifestTest, ANulByteEndsTheTextOfItsChunk) {
  server_.Serve(kManifestPath, kManifest + std::string(1, '\0') + "<<< not XML");
  UseHost(kManifestServer.address);
  ASSERT_TRUE(Fetch());
  EXPECT_EQ(4u, *checkFrequency_);
  EXPECT_TRUE(Messages().empty());
}

// A large body arrives in several chunks. The NUL byte early in the first
// one drops the rest of that chunk only: the later chunks still close the
// comment that the first one opened, and the manifest parses.
TEST_F(FetchVersionManifestTest, ANulByteCutsOnlyItsOwnChunk) {
  std::string body = kManifest;
  body.insert(body.find("</version>"),
              "<!--" + std::string(1, '\0') + std::string(200000, 'x') + "-->");
  server_.Serve(kManifestPath, body);
  UseHost(kManifestServer.address);
  ASSERT_TRUE(Fetch()) << testing::PrintToString(Messages());
  EXPECT_EQ(4u, *checkFrequency_);
  EXPECT_TRUE(Messages().empty());
}

TEST_F(FetchVersionManifestTest, ANulByteInsideTheManifestCutsItShort) {
  std::string body = kManifest;
  body[body.find("<Plugin")] = '\0';
  server_.Serve(kManifestPath, body);
  UseHost(kManifestServer.address);
  EXPECT_FALSE(Fetch());
  EXPECT_EQ((std::vector<std::wstring>{L"1410", L"1409"}), Messages());
  EXPECT_TRUE(NothingDelivered());
}

TEST_F(FetchVersionManifestTest, UnreachableHostFailsInTheSend) {
  UseHost(kUnreachableHost);
  EXPECT_FALSE(Fetch());
  EXPECT_EQ((std::vector<std::wstring>{L"1403 12029", L"1407 12029", L"1408"}), Messages());
  EXPECT_TRUE(NothingDelivered());
}

// Windows reports a refused certificate as 12175, Wine as 12157. Nothing is
// requested over the refused connection.
TEST_F(FetchVersionManifestTest, UntrustedCertificateIsRefused) {
  LocalUpdateServer untrusted(kUntrustedManifestServer);
  untrusted.Serve(kManifestPath, kManifest);
  UseHost(kUntrustedManifestServer.address);
  EXPECT_FALSE(Fetch());
  std::vector<std::wstring> messages = Messages();
  ASSERT_EQ(3u, messages.size()) << testing::PrintToString(messages);
  std::wstring error = messages[0].substr(messages[0].find(L' ') + 1);
  EXPECT_TRUE(error == L"12175" || error == L"12157") << testing::PrintToString(messages);
  EXPECT_EQ((std::vector<std::wstring>{L"1403 " + error, L"1407 " + error, L"1408"}), messages);
  EXPECT_TRUE(NothingDelivered());
  EXPECT_TRUE(untrusted.NewRequests().empty());
}

// Wine reports the missing answer as an invalid server response (12152);
// Windows may also call it an aborted connection (12030).
TEST_F(FetchVersionManifestTest, ConnectionClosedWithoutAnswerIsNoResponse) {
  server_.Serve(kManifestPath, kManifest);
  server_.SetFault(kManifestPath, "close");
  UseHost(kManifestServer.address);
  EXPECT_FALSE(Fetch());
  std::vector<std::wstring> messages = Messages();
  ASSERT_EQ(2u, messages.size()) << testing::PrintToString(messages);
  EXPECT_TRUE(messages[0] == L"1407 12152" || messages[0] == L"1407 12030")
      << testing::PrintToString(messages);
  EXPECT_EQ(L"1408", messages[1]);
  EXPECT_TRUE(NothingDelivered());
  EXPECT_EQ(std::vector<std::string>{ExpectedRequest()}, server_.NewRequests());
}

// The server announces the whole manifest, sends half and hangs up. What
// arrived is parsed all the same. Wine ends the body quietly; a platform that
// reports the cut as a failed query or read logs that first.
TEST_F(FetchVersionManifestTest, ABodyCutOffMidwayFailsInTheParser) {
  server_.Serve(kManifestPath, kManifest);
  server_.SetFault(kManifestPath, "truncate");
  UseHost(kManifestServer.address);
  EXPECT_FALSE(Fetch());
  std::vector<std::wstring> messages = Messages();
  ASSERT_GE(messages.size(), 2u);
  EXPECT_EQ((std::vector<std::wstring>{L"1410", L"1409"}),
            std::vector<std::wstring>(messages.end() - 2, messages.end()))
      << testing::PrintToString(messages);
  for (size_t i = 0; i + 2 < messages.size(); ++i) {
    EXPECT_TRUE(messages[i].rfind(L"1404 ", 0) == 0 || messages[i].rfind(L"1406 ", 0) == 0)
        << testing::PrintToString(messages);
  }
  EXPECT_TRUE(NothingDelivered());
}

TEST_F(FetchVersionManifestTest, FailuresWriteNothingWithoutVerboseLogging) {
  UseHost(kUnreachableHost, false);
  EXPECT_FALSE(Fetch());
  EXPECT_TRUE(Messages().empty());
}

}  // namespace

namespace {

struct FetchOnThread {
  explicit FetchOnThread(const ServiceContext& context) : context(context) {}
  const ServiceContext& context;
  bool returned = false;
  bool fetched = false;
  std::optional<VersionRecord> activeX;
  std::optional<VersionRecord> plugin;
  std::optional<uint32_t> checkFrequency;
};

DWORD WINAPI FetchThread(void* context) {
  auto* fetch = static_cast<FetchOnThread*>(context);
  fetch->fetched =
      FetchVersionManifest(fetch->context, fetch->activeX, fetch->plugin, fetch->checkFrequency);
  fetch->returned = true;
  return 0;
}

// A body of a few megabytes can nest a million elements, which the XML
// parser's recursion would follow until the stack ran out. The fetch runs on
// a thread with a 1 MB stack, half of the 2 MB that the service's own thread
// gets from the executable; the body is refused as malformed before parsing.
// Without that refusal the stack overflows in the parser: Wine then ends the
// thread where it stands (exit code 0, the fetch never returns, nothing is
// logged); Windows ends the whole process.
TEST_F(FetchVersionManifestTest, DeeplyNestedBodyIsMalformedNotAStackOverflow) {
  std::string body;
  for (int i = 0; i < 1000000; ++i) body += "<a>";
  server_.Serve(kManifestPath, body);
  UseHost(kManifestServer.address);
  FetchOnThread fetch(context_);
  UniqueKernelHandle thread(CreateThread(nullptr, 1 << 20, FetchThread, &fetch,
                                         STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
  ASSERT_TRUE(thread.valid());
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread.get(), 120000));
  DWORD exitCode = 0;
  ASSERT_TRUE(GetExitCodeThread(thread.get(), &exitCode));
  EXPECT_EQ(0u, exitCode);
  ASSERT_TRUE(fetch.returned) << "the fetch died inside";
  EXPECT_FALSE(fetch.fetched);
  EXPECT_EQ((std::vector<std::wstring>{L"1410", L"1409"}), Messages());
  EXPECT_FALSE(fetch.activeX || fetch.plugin || fetch.checkFrequency);
  EXPECT_EQ(std::vector<std::string>{ExpectedRequest()}, server_.NewRequests());
}

}  // namespace
