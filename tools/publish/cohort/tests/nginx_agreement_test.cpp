// nginx places clients exactly as the cohort functions do: real nginx with
// the embedded njs key function and split_clients, asked for thousands of
// IPv4 and IPv6 client addresses (forwarded through the real-IP module, which
// sets the address the key function reads), must agree with CohortKey,
// InShare and CanaryRanges on every key, share and canary flag. Run it in a
// network namespace of its own (it listens on 127.0.0.1).
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cohort/cohort.h"
#include "cohort/cohort_script.h"

extern char** environ;

namespace {

const char kSalt[] = "9c1e5b0a7d3f2468";
const char kOtherSalt[] = "0123456789abcdef";
const double kShares[] = {5, 25, 50, 33.33, 0.01, 99.99};
const std::vector<std::string> kCanaries = {"127.0.3.0/24", "10.40.0.0/14", "2001:db8:77::/48",
                                            "192.0.2.9"};
const char kAddress[] = "127.0.0.1";
const int kPort = 8081;

std::string Configuration(const std::string& work) {
  std::ostringstream text;
  text << "load_module /usr/lib/nginx/modules/ngx_http_js_module.so;\n"
       << "worker_processes 1;\nuser root;\npid " << work << "/nginx.pid;\n"
       << "error_log " << work << "/error.log warn;\n"
       << "events { worker_connections 256; }\nhttp {\n  access_log off;\n";
  for (const char* temporary : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"}) {
    text << "  " << temporary << "_temp_path " << work << "/" << temporary << ";\n";
  }
  text << "  js_import cohort from " << work << "/cohort.js;\n"
       << "  js_set $cohort_key cohort.key;\n";
  for (size_t i = 0; i < std::size(kShares); ++i) {
    text << "  split_clients \"" << kSalt << "${cohort_key}\" $share" << i << " { "
         << SplitClientsPercentText(kShares[i]) << " 1; * 0; }\n";
  }
  text << "  split_clients \"" << kOtherSalt << "${cohort_key}\" $other { 50% 1; * 0; }\n"
       << "  geo $canary {\n    default 0;\n";
  for (const std::string& range : kCanaries) text << "    " << range << " 1;\n";
  const char* answer =
      "return 200 \"$remote_addr $cohort_key $share0 $share1 $share2 $share3 $share4 $share5 "
      "$other $canary\";";
  // As behind a trusted proxy: the real-IP module takes the client from
  // X-Forwarded-For before any other phase, as the rollout configuration does.
  text << "  }\n  server {\n    listen " << kAddress << ":" << kPort << ";\n"
       << "    set_real_ip_from 127.0.0.0/8;\n    real_ip_header X-Forwarded-For;\n"
       << "    location / { " << answer << " }\n  }\n}\n";
  return text.str();
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

struct CurlDeleter {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct HeaderListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

size_t Append(char* data, size_t size, size_t count, void* body) {
  static_cast<std::string*>(body)->append(data, size * count);
  return size * count;
}

class Nginx {
 public:
  ~Nginx() { Stop(); }

  bool Start(const std::string& configuration) {
    std::vector<std::string> arguments = {"nginx", "-c", configuration, "-g", "daemon off;"};
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    if (posix_spawnp(&pid_, "nginx", nullptr, nullptr, argv.data(), environ) != 0) return false;
    for (int attempt = 0; attempt < 300; ++attempt) {
      std::string body;
      if (Get("", body)) return true;
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGQUIT);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  // GET /, with an X-Forwarded-For header unless forwarded is empty. False
  // when no 200 answer came.
  static bool Get(const std::string& forwarded, std::string& body) {
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    std::unique_ptr<curl_slist, HeaderListDeleter> headers;
    if (!forwarded.empty()) {
      headers.reset(curl_slist_append(nullptr, ("X-Forwarded-For: " + forwarded).c_str()));
    }
    std::string url = "http://" + std::string(kAddress) + ":" + std::to_string(kPort) + "/";
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, Append);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT, 20L);
    long status = 0;
    return curl_easy_perform(curl.get()) == CURLE_OK &&
           curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status) == CURLE_OK &&
           status == 200;
  }

 private:
  pid_t pid_ = -1;
};

class NginxAgreementTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/cohort-nginx-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    work_ = pattern;
    WriteText(work_ + "/cohort.js", kCohortKeyScript);
    WriteText(work_ + "/nginx.conf", Configuration(work_));
    nginx_ = new Nginx;
    ASSERT_TRUE(nginx_->Start(work_ + "/nginx.conf")) << "nginx did not start; see " << work_;
  }

  static void TearDownTestSuite() {
    delete nginx_;
    nginx_ = nullptr;
    std::error_code ignored;
    std::filesystem::remove_all(work_, ignored);
  }

  // Asks nginx for the placement of the client forwarded and compares every
  // field with the cohort functions.
  static void ExpectAgreement(const std::string& forwarded, const std::string& expectedRemote) {
    std::string body;
    EXPECT_TRUE(Nginx::Get(forwarded, body)) << forwarded;
    std::istringstream fields(body);
    std::string remote, key;
    int share[std::size(kShares)] = {}, other = 0, canary = 0;
    fields >> remote >> key;
    for (int& in : share) fields >> in;
    fields >> other >> canary;
    EXPECT_TRUE(fields && fields.eof()) << "answer: " << body;
    if (!expectedRemote.empty()) EXPECT_EQ(remote, expectedRemote);
    std::string expectedKey;
    EXPECT_TRUE(CohortKey(remote, expectedKey)) << remote;
    EXPECT_EQ(key, expectedKey) << remote;
    for (size_t i = 0; i < std::size(kShares); ++i) {
      EXPECT_EQ(share[i] == 1, InShare(kSalt, expectedKey, kShares[i]))
          << remote << " at " << kShares[i] << "%";
    }
    EXPECT_EQ(other == 1, InShare(kOtherSalt, expectedKey, 50)) << remote;
    CanaryRanges canaries;
    std::string error;
    EXPECT_TRUE(canaries.Parse(kCanaries, error)) << error;
    EXPECT_EQ(canary == 1, canaries.Contains(remote)) << remote;
  }

  static std::string work_;
  static Nginx* nginx_;
};

std::string NginxAgreementTest::work_;
Nginx* NginxAgreementTest::nginx_ = nullptr;

// Addresses in a few /64s, and bit patterns that exercise every group's
// compression in nginx's text form.
std::vector<std::string> ForwardedIpv6Addresses() {
  std::vector<std::string> addresses = {"::1",
                                        "::",
                                        "2001:db8:77::1",
                                        "2001:db8:78::1",
                                        "::ffff:10.40.1.2",
                                        "::ffff:127.0.3.9",
                                        "fe80::1",
                                        "2001:DB8:77:0:0:0:0:1",
                                        "1:2:3:4:5:6:7:8",
                                        "1::8",
                                        "64:ff9b::192.0.2.9"};
  uint64_t state = 0x9e3779b97f4a7c15;
  for (int i = 0; i < 2000; ++i) {
    char text[64];
    uint16_t groups[8];
    for (uint16_t& group : groups) {
      state = state * 6364136223846793005u + 1442695040888963407u;
      // Mostly zero groups, so that nginx compresses runs of different lengths.
      group = (state >> 60) < 6 ? 0 : static_cast<uint16_t>(state >> 33);
    }
    std::snprintf(text, sizeof text, "%x:%x:%x:%x:%x:%x:%x:%x", 0x2000 | (groups[0] & 0xfff),
                  groups[1], groups[2], groups[3], groups[4], groups[5], groups[6], groups[7]);
    addresses.push_back(text);
  }
  return addresses;
}

TEST_F(NginxAgreementTest, PlacesIpv6AndIpv4AddressesAsTheCohortFunctions) {
  for (const std::string& address : ForwardedIpv6Addresses()) ExpectAgreement(address, "");
  for (int i = 0; i < 2000; ++i) {
    std::string address = "10." + std::to_string(38 + i % 8) + "." + std::to_string(i / 8) +
                          "." + std::to_string(i % 251);
    ExpectAgreement(address, address);
  }
}

}  // namespace
