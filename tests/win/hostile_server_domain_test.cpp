// Hostile values of SilentAutoUpdateServerDomain: each goes through ksm.cfg
// into LoadAutoUpdatePolicy, then one manifest fetch and one package download
// run as the update cycle runs them. The local server on the test address
// answers both requests and logs every request it sees, so each case states
// the exact install-log events and exactly which requests arrived there:
// none, unless the text is that address itself.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "net/installer_download.h"
#include "net/version_manifest.h"
#include "settings/auto_update_policy.h"
#include "support/local_update_server.h"
#include "support/log_capture.h"
#include "support/test_files.h"
#include "update_servers/hostile_domain.h"

namespace {

const char kManifestPath[] = "/pub/plumixplayer/update/current/sau/11/xml/version.xml";
const char kPackagePath[] =
    "/pub/plumixplayer/update/current/sau/11/install/install_all_win_ax_sgn.z";

const std::string kManifest =
    "<version><ActiveX major=\"10\" minor=\"3\" buildMajor=\"183\" buildMinor=\"90\"/>"
    "<Plugin major=\"11\" minor=\"4\" buildMajor=\"200\" buildMinor=\"7\"/>"
    "<SAUConfig checkFrequency=\"4\"/></version>";

const std::string kAddress(kHostileDomainServer.address,
                           kHostileDomainServer.address + wcslen(kHostileDomainServer.address));

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// What one service start with the domain produced.
struct Outcome {
  std::vector<std::wstring> messages;
  std::vector<std::string> requests;
};

Outcome RunWithDomain(const std::string& domain) {
  ScopedSettingsFolder settings;
  LocalUpdateServer server(kHostileDomainServer);
  server.Serve(kManifestPath, kManifest);
  server.Serve(kPackagePath, "not a signed package");
  settings.Write("SilentAutoUpdateVerboseLogging=1\r\nSilentAutoUpdateServerDomain=" + domain +
                 "\r\n");
  LogCapture log(true);
  ServiceContext context{L"", AutoUpdatePolicy(), kSystemPlatform};
  EXPECT_TRUE(LoadAutoUpdatePolicy(context.policy));
  std::optional<VersionRecord> activeX, plugin;
  std::optional<uint32_t> checkFrequency;
  FetchVersionManifest(context, activeX, plugin, checkFrequency);
  DownloadInstaller(PluginVariant::ActiveX, context);
  return Outcome{log.Messages(), server.NewRequests()};
}

// The events of a start whose host cannot be reached: both hosts set from
// the text, then the fetch and the download each fail with error.
std::vector<std::wstring> UnreachedEvents(const std::wstring& host, const std::wstring& error) {
  return {L"1628 " + host,  L"1629 " + host, L"1614", L"1616",         L"1403 " + error,
          L"1407 " + error, L"1408",         L"1600", L"1214 " + error};
}

struct Case {
  const char* what;
  std::string domain;  // the bytes after "=" in ksm.cfg
  std::wstring host;   // the host name the service uses, as the events show it
};

// Wine's WinHTTP reports each of these as a name it cannot resolve (12007):
// nothing reads a port, a path or user information out of the text, nothing
// cuts it short, and no request goes anywhere.
TEST(HostileServerDomain, TextsThatAreNoHostNameReachNoServer) {
  const std::string longText(10000, 'a');
  const std::string longPath = kAddress + "/" + std::string(100000, 'a');
  const Case cases[] = {
      {"10,000 bytes", longText, Widen(longText)},
      {"the address and a path of 100,000 bytes", longPath, Widen(longPath)},
      {"a path", kAddress + "/evil", Widen(kAddress + "/evil")},
      {"a port", kAddress + ":8443", Widen(kAddress + ":8443")},
      {"the manifest's own port", kAddress + ":443", Widen(kAddress + ":443")},
      {"the package's own port", kAddress + ":80", Widen(kAddress + ":80")},
      {"user information", "user:pw@" + kAddress, Widen("user:pw@" + kAddress)},
      {"the address as user information", kAddress + "@evil.example",
       Widen(kAddress + "@evil.example")},
      {"a fragment", kAddress + "#x", Widen(kAddress + "#x")},
      {"a query", kAddress + "?x", Widen(kAddress + "?x")},
      {"percent-encoded digits", "%31%32%37.0.8.8", L"%31%32%37.0.8.8"},
      {"a space inside", kAddress + " evil", Widen(kAddress + " evil")},
      {"a tab inside", kAddress + "\tevil", Widen(kAddress + "\tevil")},
      {"a vertical tab inside",
       kAddress + "\x0b"
                  "evil",
       Widen(kAddress + "\x0b"
                        "evil")},
      {"an escape sequence, its ESC trimmed as a leading blank", "\x1b[31m" + kAddress,
       Widen("[31m" + kAddress)},
      {"a non-ASCII letter after the address", kAddress + "\xC3\xA9", Widen(kAddress) + L"\u00E9"},
      {"a non-ASCII name", "h\xC3\xA9st.example", L"h\u00E9st.example"},
  };
  for (const Case& c : cases) {
    Outcome outcome = RunWithDomain(c.domain);
    EXPECT_EQ(UnreachedEvents(c.host, L"12007"), outcome.messages) << c.what;
    EXPECT_TRUE(outcome.requests.empty()) << c.what;
  }
}

// Ill-formed UTF-8 becomes U+FFFD in the host name on every Windows version,
// never a dropped byte that would join "127.0.8" and ".8" into the address.
TEST(HostileServerDomain, IllFormedUtf8IsReplacedNotDropped) {
  const Case cases[] = {
      {"a stray byte", "127.0.8\xFF.8", L"127.0.8\uFFFD.8"},
      {"an overlong dot",
       "127.0.8\xC0\xAE"
       "8",
       L"127.0.8\uFFFD\uFFFD8"},
      {"a truncated sequence", kAddress + "\xE2\x82", Widen(kAddress) + L"\uFFFD"},
  };
  for (const Case& c : cases) {
    Outcome outcome = RunWithDomain(c.domain);
    EXPECT_EQ(UnreachedEvents(c.host, L"12007"), outcome.messages) << c.what;
    EXPECT_TRUE(outcome.requests.empty()) << c.what;
  }
}

// The address itself, also with a control character after it that loading
// trims as a blank: one manifest request and one package request, both
// naming the address, and the package is refused as unsigned.
TEST(HostileServerDomain, TheAddressAloneIsAskedOnceForEachFile) {
  const std::string domains[] = {kAddress, kAddress + "\x07", "\x01 " + kAddress + " \x1f"};
  const std::vector<std::string> expected = {
      LocalUpdateServer::RequestLine("https", kManifestPath, "Get Plumix Player version xml/1.0",
                                     kAddress),
      LocalUpdateServer::RequestLine("http", kPackagePath, "Download Plumix Player Installer/1.0",
                                     kAddress),
  };
  for (const std::string& domain : domains) {
    Outcome outcome = RunWithDomain(domain);
    ASSERT_EQ(6u, outcome.messages.size()) << testing::PrintToString(outcome.messages);
    std::vector<std::wstring> first(outcome.messages.begin(), outcome.messages.begin() + 5);
    EXPECT_EQ((std::vector<std::wstring>{L"1628 " + Widen(kAddress), L"1629 " + Widen(kAddress),
                                         L"1614", L"1616", L"1600"}),
              first);
    EXPECT_EQ(0u, outcome.messages[5].rfind(L"1217 ", 0)) << outcome.messages[5];
    EXPECT_EQ(expected, outcome.requests);
  }
}

// An IPv6 literal names the loopback address ::1, where nothing listens:
// the connection is refused (12029) and the test server sees nothing.
TEST(HostileServerDomain, AnIpv6LiteralIsConnectedToAsItselfOnly) {
  Outcome outcome = RunWithDomain("[::1]");
  EXPECT_EQ(UnreachedEvents(L"[::1]", L"12029"), outcome.messages);
  EXPECT_TRUE(outcome.requests.empty());
}

}  // namespace
