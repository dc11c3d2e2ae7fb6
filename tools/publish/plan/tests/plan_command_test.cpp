#include "plan/plan_command.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "exit_status.h"
#include "plan/plan_options.h"

namespace {

const std::vector<std::string> kRequired = {"--clients", "100",           "--check-frequency",
                                            "4",         "--package-mib", "50"};

std::vector<std::string> RequiredAnd(std::vector<std::string> more) {
  std::vector<std::string> arguments = kRequired;
  arguments.insert(arguments.end(), more.begin(), more.end());
  return arguments;
}

int RunPlan(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "plan");
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(&argument[0]);
  return RunPlanCommand(static_cast<int>(argv.size()), argv.data());
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

TEST(ParsePlanOptions, RefusesWhatItCannotUseWithTheReason) {
  struct Case {
    std::vector<std::string> arguments;
    const char* error;
  } cases[] = {
      {{}, "--clients is required"},
      {{"--clients", "10", "--package-mib", "5"}, "--check-frequency is required"},
      {{"--clients", "10", "--check-frequency", "1"}, "--package-mib is required"},
      {RequiredAnd({"--verbose"}), "unknown option --verbose"},
      {RequiredAnd({"--days"}), "--days needs a value"},
      {RequiredAnd({"--clients", "0"}), "bad value for --clients: 0"},
      {RequiredAnd({"--clients", "100000001"}), "bad value for --clients: 100000001"},
      {RequiredAnd({"--check-frequency", "4x"}), "bad value for --check-frequency: 4x"},
      {RequiredAnd({"--package-mib", "-1"}), "bad value for --package-mib: -1"},
      {RequiredAnd({"--days", "367"}), "bad value for --days: 367"},
      {RequiredAnd({"--uptime", "sometimes"}), "bad value for --uptime: sometimes"},
      {RequiredAnd({"--seed", "-1"}), "bad value for --seed: -1"},
      {RequiredAnd({"--scheduler", "3"}), "bad value for --scheduler: 3"},
      {RequiredAnd({"--failure-percent", "101"}), "bad value for --failure-percent: 101"},
      {RequiredAnd({"--client-mbps", "0"}), "bad value for --client-mbps: 0"},
      {RequiredAnd({"--start-interval", "daily"}), "bad value for --start-interval: daily"},
      {RequiredAnd({"--plot", "plan.svg"}), "bad value for --plot: plan.svg"},
      {RequiredAnd({"--request-window", "10-2"}), "bad value for --request-window: 10-2"},
      {RequiredAnd({"--request-window", "5"}), "bad value for --request-window: 5"},
      {RequiredAnd({"--rollout", "5,1,100"}), "bad value for --rollout: 5,1,100"},
      {RequiredAnd({"--rollout", "1,,100"}), "bad value for --rollout: 1,,100"},
      {RequiredAnd({"--rollout", "1,5,101"}), "bad value for --rollout: 1,5,101"},
      {RequiredAnd({"--both-variants-percent", "70", "--plugin-only-percent", "40"}),
       "--both-variants-percent and --plugin-only-percent add up to more than 100"},
      {RequiredAnd({"--canary-clients", "101"}), "--canary-clients is more than --clients"},
      {{"--clients", "10", "--check-frequency", "1", "--activex-mib", "5"},
       "--package-mib is required"},
  };
  for (const Case& c : cases) {
    PlanOptions options;
    std::string error;
    EXPECT_FALSE(ParsePlanOptions(c.arguments, options, error)) << c.error;
    EXPECT_EQ(c.error, error);
  }
}

TEST(ParsePlanOptions, ReadsEveryOption) {
  PlanOptions options;
  std::string error;
  ASSERT_TRUE(ParsePlanOptions({"--clients",
                                "10000000",
                                "--check-frequency",
                                "-1",
                                "--package-mib",
                                "49.5",
                                "--days",
                                "21",
                                "--uptime",
                                "office",
                                "--release-day",
                                "3",
                                "--seed",
                                "18446744073709551615",
                                "--scheduler",
                                "1",
                                "--failure-percent",
                                "2.5",
                                "--client-mbps",
                                "8",
                                "--start-interval",
                                "manifest",
                                "--plugin-mib",
                                "12",
                                "--request-window",
                                "0-30",
                                "--installer-resets",
                                "off",
                                "--rollout",
                                "0,1,5,25,100",
                                "--csv",
                                "a.csv",
                                "--plot",
                                "a.png"},
                               options, error))
      << error;
  const PlanSettings& settings = options.settings;
  EXPECT_EQ(10000000u, settings.clients);
  EXPECT_EQ(-1, settings.checkFrequency);
  // --package-mib sizes the variant that has no size of its own.
  EXPECT_EQ(49.5, settings.packageMiB[kActiveX]);
  EXPECT_EQ(12.0, settings.packageMiB[kPlugin]);
  EXPECT_EQ(0, settings.requestWindowLow);
  EXPECT_EQ(30, settings.requestWindowHigh);
  EXPECT_FALSE(settings.installerResets);
  EXPECT_EQ((std::vector<double>{0, 1, 5, 25, 100}), settings.rolloutPercent);
  EXPECT_EQ(21, settings.days);
  EXPECT_EQ(Uptime::kOffice, settings.uptime);
  EXPECT_EQ(3, settings.releaseDay);
  EXPECT_EQ(UINT64_MAX, settings.seed);
  EXPECT_EQ(1, settings.schedulerVersion);
  EXPECT_EQ(2.5, settings.failurePercent);
  EXPECT_EQ(8.0, settings.clientMbps);
  EXPECT_TRUE(settings.startAtManifestInterval);
  EXPECT_EQ("a.csv", options.csvPath);
  EXPECT_EQ("a.png", options.plotPath);
}

TEST(RunPlanCommand, ExitsTwoOnAUsageErrorAndZeroForHelp) {
  EXPECT_EQ(kExitUsage, RunPlan({"--clients", "ten"}));
  EXPECT_EQ(kExitUsage, RunPlan({}));
  EXPECT_EQ(kExitDone, RunPlan({"--help"}));
}

TEST(RunPlanCommand, WritesEveryMinuteAndDrawsThePlot) {
  std::string folder = testing::TempDir() + "plan-" + std::to_string(getpid());
  ASSERT_EQ(0, mkdir(folder.c_str(), 0700));
  std::string csv = folder + "/plan.csv", png = folder + "/plan.png";
  ASSERT_EQ(kExitDone, RunPlan(RequiredAnd({"--days", "2", "--release-day", "1", "--uptime",
                                            "office", "--csv", csv, "--plot", png})));
  std::string lines = ReadFile(csv);
  EXPECT_EQ(1 + 2 * 1440, std::count(lines.begin(), lines.end(), '\n'));
  EXPECT_EQ(0u, lines.find("minute,day,time,requests,"));
  EXPECT_EQ(0u, ReadFile(png).find("\x89PNG\r\n"));
  // Nothing is left beside the outputs.
  for (const std::string& left : {csv + ".partial", png + ".partial", png + ".csv.partial"}) {
    EXPECT_NE(0, access(left.c_str(), F_OK)) << left;
  }
  std::remove(csv.c_str());
  std::remove(png.c_str());
  rmdir(folder.c_str());
}

}  // namespace
