#include "rollout/rollout_changes.h"

#include <cstdio>
#include <fstream>

#include "cohort/cohort.h"

namespace {

bool CheckRanges(const std::vector<std::string>& cidrs, const char* option, std::string& message) {
  CanaryRanges ranges;
  std::string error;
  if (ranges.Parse(cidrs, error)) return true;
  message = std::string(option) + " " + error;
  return false;
}

ChangeResult Refuse(std::string& message, const std::string& reason) {
  message = reason;
  return ChangeResult::Refused;
}

ChangeResult Start(const RolloutOptions& options, int64_t now, const std::string& salt,
                   RolloutState& after, std::string& message) {
  if (options.release == after.current) {
    return Refuse(message, "release " + options.release + " is the current release already");
  }
  if (!after.candidate.empty() && !after.halted) {
    return Refuse(message, "release " + after.candidate +
                               " is being rolled out: halt it (or complete it) before starting "
                               "another");
  }
  if (!CheckRanges(options.canaries, "--canary", message) ||
      !CheckRanges(options.trustedProxies, "--trusted-proxy", message)) {
    return ChangeResult::Refused;
  }
  double percent = options.hasPercent ? options.percent : options.steps.front();
  if (percent == 0 && options.canaries.empty()) {
    return Refuse(message, "a candidate at 0% without --canary is shown to nobody");
  }
  after.candidate = options.release;
  after.percent = percent;
  after.salt = salt;
  after.canaries = options.canaries;
  after.trustedProxies = options.trustedProxies;
  after.steps = options.steps;
  after.stepHours = options.stepHours;
  after.stepStarted = now;
  after.halted = false;
  message = "started release " + after.candidate + " at " + PercentText(percent) +
            (after.canaries.empty() ? "" : " and its canary ranges");
  return ChangeResult::Changed;
}

ChangeResult ChangeCandidate(const RolloutOptions& options, int64_t now, RolloutState& after,
                             std::string& message) {
  if (after.candidate.empty()) return Refuse(message, "no rollout is under way");
  switch (options.action) {
    case RolloutAction::Set:
      after.percent = options.percent;
      after.halted = false;
      after.stepStarted = now;
      message = "set release " + after.candidate + " to " + PercentText(after.percent);
      return ChangeResult::Changed;
    case RolloutAction::Halt:
      if (after.halted) {
        message = "release " + after.candidate + " is halted already";
        return ChangeResult::Unchanged;
      }
      after.halted = true;
      message =
          "halted release " + after.candidate + ": everyone is shown release " + after.current;
      return ChangeResult::Changed;
    case RolloutAction::Resume:
      if (!after.halted) return Refuse(message, "release " + after.candidate + " is not halted");
      after.halted = false;
      after.stepStarted = now;
      message = "resumed release " + after.candidate + " at " + PercentText(after.percent) +
                " for the same addresses";
      return ChangeResult::Changed;
    default:
      break;
  }
  message = "completed: release " + after.candidate + " is the current release for everyone";
  after.current = after.candidate;
  after.candidate.clear();
  after.percent = 0;
  after.salt.clear();
  after.canaries.clear();
  after.steps.clear();
  after.stepHours = 0;
  after.stepStarted = 0;
  after.halted = false;
  return ChangeResult::Changed;
}

}  // namespace

std::string PercentText(double percent) {
  char text[16];
  std::snprintf(text, sizeof text, "%g%%", percent);
  return text;
}

bool DrawSalt(std::string& salt) {
  std::ifstream random("/dev/urandom", std::ios::binary);
  unsigned char bytes[8];
  if (!random.read(reinterpret_cast<char*>(bytes), sizeof bytes)) return false;
  char text[17];
  for (int i = 0; i < 8; ++i) std::snprintf(text + 2 * i, 3, "%02x", bytes[i]);
  salt = text;
  return true;
}

ChangeResult ChangeRollout(const RolloutOptions& options, int64_t now, const std::string& salt,
                           const RolloutState& before, RolloutState& after, std::string& message) {
  RolloutState next = before;
  std::string release = options.action == RolloutAction::Start ? options.release : before.candidate;
  ChangeResult result = options.action == RolloutAction::Start
                            ? Start(options, now, salt, next, message)
                            : ChangeCandidate(options, now, next, message);
  if (result != ChangeResult::Changed) return result;
  double shown = next.candidate.empty() ? 100 : next.EffectivePercent();
  next.history.push_back({now, RolloutActionName(options.action), release, shown,
                          options.reason.empty() ? message : options.reason});
  after = std::move(next);
  return ChangeResult::Changed;
}
