#include "rollout/nginx_configuration.h"

#include <gtest/gtest.h>

namespace {

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

RolloutState Candidate(double percent, std::vector<std::string> canaries, bool halted) {
  RolloutState state;
  state.current = "1.0.0.0";
  state.candidate = "2.0.0.0";
  state.percent = percent;
  state.salt = "abcdef0123456789";
  state.canaries = std::move(canaries);
  state.halted = halted;
  return state;
}

// nginx refuses "0%" in split_clients and a 100 % bucket would leave the
// hash 0xffffffff unplaced: the share is split only strictly between them,
// and the key function loaded only then.
TEST(NginxConfigurationTest, SplitsOnlyStrictlyBetweenNobodyAndEverybody) {
  struct Case {
    const char* label;
    RolloutState state;
    bool splits;
    const char* inShare;
    bool showsCandidate;
  } cases[] = {
      {"no rollout", RolloutState{}, false, "default 0;", false},
      {"5 %", Candidate(5, {}, false), true, "5.00% 1;", true},
      {"0.01 %", Candidate(0.01, {}, false), true, "0.01% 1;", true},
      {"canaries only", Candidate(0, {"10.0.0.0/8"}, false), false, "default 0;", true},
      {"everyone", Candidate(100, {}, false), false, "default 1;", true},
      {"halted", Candidate(25, {"10.0.0.0/8"}, true), false, "default 0;", false},
  };
  for (const Case& c : cases) {
    NginxFiles files = RenderNginxFiles("/srv/updates", c.state);
    const std::string& http = files.text[kHttpFile];
    EXPECT_EQ(Has(http, "split_clients \"abcdef0123456789${plumix_cohort_key}\""), c.splits)
        << c.label;
    EXPECT_EQ(
        Has(http, "js_import plumix_cohort from /srv/updates/.plumix-publish/nginx/cohort.js;"),
        c.splits)
        << c.label;
    EXPECT_FALSE(Has(http, "0.00%")) << c.label;
    EXPECT_TRUE(Has(http, c.inShare)) << c.label;
    EXPECT_EQ(Has(http, "default releases/2.0.0.0;"), c.showsCandidate) << c.label;
    EXPECT_EQ(Has(http, "10.0.0.0/8 1;"), c.showsCandidate && !c.state.canaries.empty()) << c.label;
    const std::string& locations = files.text[kLocationsFile];
    EXPECT_EQ(Has(locations, "add_header Cache-Control \"private, no-store\" always;"),
              c.showsCandidate)
        << c.label;
    EXPECT_TRUE(Has(locations, "root /srv/updates/.plumix-publish/$plumix_release;")) << c.label;
  }
}

TEST(NginxConfigurationTest, TrustedProxiesGiveRealIpDirectives) {
  RolloutState state = Candidate(5, {}, false);
  state.trustedProxies = {"192.0.2.0/24", "2001:db8::/32"};
  const std::string http = RenderNginxFiles("/srv/updates", state).text[kHttpFile];
  EXPECT_TRUE(Has(http,
                  "set_real_ip_from 192.0.2.0/24;\nset_real_ip_from 2001:db8::/32;\n"
                  "real_ip_header X-Forwarded-For;\nreal_ip_recursive on;\n"));
  EXPECT_FALSE(
      Has(RenderNginxFiles("/srv/updates", Candidate(5, {}, false)).text[kHttpFile], "real_ip"));
}

TEST(NginxConfigurationTest, AcceptsOnlyPathsNginxTakesAsTheyAre) {
  EXPECT_TRUE(IsPathSafeForNginx("/srv/updates/plumix-1.0_test@x"));
  for (const char* path : {"", "relative/dir", "/srv/my updates", "/srv/$var", "/srv/a;b",
                           "/srv/\"q\"", "/srv/{x}", "/srv/#x", "/srv/tab\t", "/srv/back\\slash"}) {
    EXPECT_FALSE(IsPathSafeForNginx(path)) << path;
  }
}

}  // namespace
