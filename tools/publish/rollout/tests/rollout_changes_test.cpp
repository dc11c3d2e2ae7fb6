#include "rollout/rollout_changes.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "rollout/ramp.h"

namespace {

constexpr int64_t kStart = 1714564800;  // 2024-05-01T12:00:00Z
constexpr int64_t kHour = 3600;

RolloutOptions Action(RolloutAction action, double percent = 0, const std::string& release = "") {
  RolloutOptions options;
  options.action = action;
  options.percent = percent;
  options.hasPercent = action == RolloutAction::Set || action == RolloutAction::Start;
  options.release = release;
  return options;
}

RolloutOptions StartOptions(const std::string& release, double percent) {
  return Action(RolloutAction::Start, percent, release);
}

RolloutState Published() {
  RolloutState state;
  state.current = "1.0.0.0";
  state.history.push_back({kStart - kHour, "publish", "1.0.0.0", 100, "published to everyone"});
  return state;
}

// Applies an action that must succeed and returns the state after it.
RolloutState Apply(const RolloutState& before, const RolloutOptions& options, int64_t now,
                   const std::string& salt = "") {
  RolloutState after;
  std::string message;
  EXPECT_EQ(ChangeRollout(options, now, salt, before, after, message), ChangeResult::Changed)
      << message;
  return after;
}

TEST(ChangeRolloutTest, StartSetHaltResumeCompleteKeepTheSaltAndRecordEachChange) {
  RolloutOptions start = StartOptions("2.0.0.0", 5);
  start.canaries = {"10.1.0.0/16"};
  start.reason = "week 18";
  RolloutState state = Apply(Published(), start, kStart, "00112233aabbccdd");
  state = Apply(state, Action(RolloutAction::Set, 25), kStart + kHour);
  state = Apply(state, Action(RolloutAction::Halt), kStart + 2 * kHour);
  EXPECT_EQ(state.EffectivePercent(), 0);
  state = Apply(state, Action(RolloutAction::Resume), kStart + 3 * kHour);
  EXPECT_EQ(state.EffectivePercent(), 25);
  EXPECT_EQ(state.salt, "00112233aabbccdd");
  EXPECT_EQ(state.canaries, start.canaries);
  state = Apply(state, Action(RolloutAction::Complete), kStart + 4 * kHour);
  EXPECT_EQ(std::make_tuple(state.current, state.candidate, state.salt, state.canaries.size()),
            std::make_tuple("2.0.0.0", "", "", size_t{0}));

  using Change = std::tuple<std::string, std::string, double, int64_t>;
  std::vector<Change> changes;
  for (const RolloutHistoryEntry& e : state.history) {
    changes.emplace_back(e.action, e.release, e.percent, e.time - kStart);
  }
  EXPECT_EQ(changes, (std::vector<Change>{{"publish", "1.0.0.0", 100, -kHour},
                                          {"start", "2.0.0.0", 5, 0},
                                          {"set", "2.0.0.0", 25, kHour},
                                          {"halt", "2.0.0.0", 0, 2 * kHour},
                                          {"resume", "2.0.0.0", 25, 3 * kHour},
                                          {"complete", "2.0.0.0", 100, 4 * kHour}}));
  EXPECT_EQ(state.history[1].reason, "week 18");
  EXPECT_EQ(state.history[3].reason, "halted release 2.0.0.0: everyone is shown release 1.0.0.0");
}

TEST(ChangeRolloutTest, RefusesChangesTheStateDoesNotAllowAndLeavesItAlone) {
  RolloutState published = Published();
  RolloutState running = Apply(published, StartOptions("2.0.0.0", 5), kStart, "s");
  RolloutOptions badCanary = StartOptions("2.0.0.0", 5);
  badCanary.canaries = {"10.1.2.3/16"};
  RolloutOptions badProxy = StartOptions("2.0.0.0", 5);
  badProxy.trustedProxies = {"proxy.example"};
  struct Case {
    const char* label;
    RolloutState before;
    RolloutOptions options;
    const char* message;
  } cases[] = {
      {"set without a rollout", published, Action(RolloutAction::Set, 5),
       "no rollout is under way"},
      {"complete without a rollout", published, Action(RolloutAction::Complete),
       "no rollout is under way"},
      {"resume what is not halted", running, Action(RolloutAction::Resume),
       "release 2.0.0.0 is not halted"},
      {"start the current release", published, StartOptions("1.0.0.0", 5),
       "release 1.0.0.0 is the current release already"},
      {"start over a running rollout", running, StartOptions("3.0.0.0", 5),
       "release 2.0.0.0 is being rolled out: halt it (or complete it) before starting another"},
      {"nobody shown", published, StartOptions("2.0.0.0", 0),
       "a candidate at 0% without --canary is shown to nobody"},
      {"bad canary", published, badCanary,
       "--canary 10.1.2.3/16: has address bits set past its /16 prefix; write the range's first "
       "address"},
      {"bad proxy", published, badProxy,
       "--trusted-proxy proxy.example: not an IPv4 or IPv6 address range (CIDR, as "
       "10.20.0.0/16)"},
  };
  for (const Case& c : cases) {
    RolloutState after;
    after.current = "untouched";
    std::string message;
    EXPECT_EQ(ChangeRollout(c.options, kStart, "t", c.before, after, message),
              ChangeResult::Refused)
        << c.label;
    EXPECT_EQ(message, c.message) << c.label;
    EXPECT_EQ(after.current, "untouched") << c.label;
  }
}

TEST(ChangeRolloutTest, HaltingAHaltedRolloutChangesNothingAndAHaltedCandidateCanBeReplaced) {
  RolloutState halted = Apply(Apply(Published(), StartOptions("2.0.0.0", 5), kStart, "first"),
                              Action(RolloutAction::Halt), kStart + kHour);
  RolloutState after;
  std::string message;
  EXPECT_EQ(ChangeRollout(Action(RolloutAction::Halt), kStart, "", halted, after, message),
            ChangeResult::Unchanged);
  EXPECT_EQ(message, "release 2.0.0.0 is halted already");
  RolloutState replaced = Apply(halted, StartOptions("2.0.0.1", 1), kStart + 2 * kHour, "second");
  EXPECT_EQ(replaced.candidate, "2.0.0.1");
  EXPECT_EQ(replaced.salt, "second");
  EXPECT_FALSE(replaced.halted);
}

RolloutState Ramp(double percent, int64_t stepStarted) {
  RolloutState state = Published();
  state.candidate = "2.0.0.0";
  state.percent = percent;
  state.steps = {1, 5, 25, 100};
  state.stepHours = 24;
  state.stepStarted = stepStarted;
  return state;
}

TEST(NextRampMoveTest, StepsOnlyWhenTheStepHasHeldForItsTimeAndCompletesAfterTheLast) {
  struct Case {
    double percent;
    int64_t now;
    RampMove move;
    double next;
  } cases[] = {
      {1, kStart, RampMove::kWait, 5},
      {1, kStart + 24 * kHour - 1, RampMove::kWait, 5},
      {1, kStart + 24 * kHour, RampMove::kStep, 5},
      {5, kStart + 30 * kHour, RampMove::kStep, 25},
      // A share set by hand between steps goes on to the next step above it.
      {10, kStart + 30 * kHour, RampMove::kStep, 25},
      {25, kStart + 24 * kHour, RampMove::kStep, 100},
      {100, kStart + 23 * kHour, RampMove::kWait, 100},
      {100, kStart + 24 * kHour, RampMove::kComplete, 100},
  };
  for (const Case& c : cases) {
    double next = 0;
    int64_t due = 0;
    EXPECT_EQ(NextRampMove(Ramp(c.percent, kStart), c.now, next, due), c.move) << c.percent;
    EXPECT_EQ(next, c.next) << c.percent;
    EXPECT_EQ(due, kStart + 24 * kHour) << c.percent;
  }
}

TEST(NextRampMoveTest, NoMoveWithoutRampCandidateOrWhileHaltedOrPastARampShortOfEveryone) {
  double next = 0;
  int64_t due = 0;
  RolloutState halted = Ramp(5, kStart);
  halted.halted = true;
  RolloutState noRamp = Ramp(5, kStart);
  noRamp.steps.clear();
  RolloutState shortRamp = Ramp(50, kStart);
  shortRamp.steps = {10, 50};
  RolloutState none = Published();
  for (const RolloutState& state : {halted, noRamp, shortRamp, none}) {
    EXPECT_EQ(NextRampMove(state, kStart + 1000 * kHour, next, due), RampMove::kNone);
  }
}

TEST(RolloutOptionsTest, ReadsSharesWithTwoDecimalsAtMost) {
  struct Case {
    const char* text;
    bool valid;
    double percent;
  } cases[] = {{"0", true, 0},        {"100", true, 100},   {"0.25", true, 0.25},
               {"12.5", true, 12.5},   {"100.01", false, 0}, {"0.001", false, 0},
               {"-1", false, 0},       {"5%", false, 0},     {".5", false, 0},
               {"1e1", false, 0}};
  for (const Case& c : cases) {
    double percent = -7;
    EXPECT_EQ(ParsePercent(c.text, percent), c.valid) << c.text;
    if (c.valid) EXPECT_EQ(percent, c.percent) << c.text;
  }
}

OptionsResult Parse(std::vector<std::string> arguments, RolloutOptions& options,
                    std::string& error) {
  arguments.insert(arguments.begin(), "rollout");
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  return ParseRolloutOptions(static_cast<int>(argv.size()), argv.data(), options, error);
}

TEST(RolloutOptionsTest, RefusesOptionsTheActionDoesNotTakeAndBadRamps) {
  struct Case {
    std::vector<std::string> arguments;
    const char* error;
  } cases[] = {
      {{"start", "D", "--release", "2.0.0.0"}, "start needs either --percent or --steps"},
      {{"start", "D", "--release", "2", "--percent", "5", "--steps", "1,5", "--step-hours", "2"},
       "start needs either --percent or --steps"},
      {{"start", "D", "--release", "2", "--steps", "1,5,5"},
       "--steps takes rising shares above 0, separated by commas (1,5,25,100)"},
      {{"start", "D", "--release", "2", "--steps", "0,5"},
       "--steps takes rising shares above 0, separated by commas (1,5,25,100)"},
      {{"start", "D", "--release", "2", "--steps", "1,5"}, "--steps and --step-hours go together"},
      {{"advance", "D"},
       "advance needs --access-log: the health gate reads the origin's access logs"},
      {{"halt", "D", "--bogus"}, "unknown option --bogus"},
  };
  for (const Case& c : cases) {
    RolloutOptions options;
    std::string error;
    EXPECT_EQ(Parse(c.arguments, options, error), OptionsResult::Invalid) << c.error;
    EXPECT_EQ(error, c.error);
  }
  RolloutOptions options;
  std::string error;
  ASSERT_EQ(Parse({"advance", "D", "--access-log", "a.log", "b.log.gz", "--min-clients", "50"},
                  options, error),
            OptionsResult::Parsed)
      << error;
  EXPECT_EQ(options.gate.accessLogs, (std::vector<std::string>{"a.log", "b.log.gz"}));
  EXPECT_EQ(options.gate.minClients, 50u);
  EXPECT_EQ(options.dir, "D");
}

}  // namespace
