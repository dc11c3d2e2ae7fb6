#include "rollout/rollout_command.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "exit_status.h"
#include "rollout/nginx_change.h"
#include "rollout/ramp.h"
#include "rollout/rollout_changes.h"
#include "rollout/rollout_options.h"
#include "rollout/rollout_status.h"
#include "store/served_links.h"
#include "store/store_layout.h"
#include "store/store_session.h"
#include "store/stored_release.h"
#include "store/utc_time.h"

namespace {

constexpr char kUnchanged[] =
    "the previous configuration stays in force and the rollout state is unchanged";

int Refused(const std::string& dir, const std::string& reason) {
  std::fprintf(stderr, "%s: %s\n", dir.c_str(), reason.c_str());
  return kExitRefused;
}

int ShowStatus(const RolloutOptions& options) {
  RolloutState state;
  std::string error;
  struct stat status = {};
  if (lstat(StoreFolder(options.dir).c_str(), &status) != 0) {
    return Refused(options.dir, "holds no release store; publish a release into it first");
  }
  if (!LoadRolloutState(options.dir, state, error)) return Refused(options.dir, error);
  int64_t now = std::time(nullptr);
  std::string text = options.json ? RolloutStatusJson(state, now) : RolloutStatusText(state, now);
  std::fputs(text.c_str(), stdout);
  return kExitDone;
}

// Serves after, from the nginx files to the state, or nothing of it: a
// completed rollout's candidate is made the current release first (and the
// old one served again if a later step fails).
int PutInForce(const std::string& dir, const RolloutOptions& options, const RolloutState& before,
               const RolloutState& after, const std::string& message) {
  std::string error;
  bool swapsCurrent = after.current != before.current;
  std::string restoreError;
  if (swapsCurrent && !ServeRelease(dir, after.current, error)) {
    if (!ServeRelease(dir, before.current, restoreError)) error += "; " + restoreError;
    return Refused(dir, error + "\n" + kUnchanged);
  }
  NginxChange change(dir, NginxControl{options.nginxConf, options.reloadCommand});
  bool inForce = change.ReadPrevious(error) && change.Apply(RenderNginxFiles(dir, after), error);
  if (inForce && !SaveRolloutState(dir, after, error)) {
    inForce = false;
    if (!change.Revert(restoreError))
      error += "\nputting the previous nginx files back: " + restoreError;
  }
  if (!inForce) {
    if (swapsCurrent && !ServeRelease(dir, before.current, restoreError)) {
      error += "\nserving release " + before.current + " again: " + restoreError;
    }
    return Refused(dir, error + "\n" + kUnchanged);
  }
  std::printf("%s\n", message.c_str());
  return kExitDone;
}

// One ramp move (or the halt the gate asks for) made by advance.
int AdvanceWith(const std::string& dir, RolloutOptions options, RolloutAction action,
                double percent, const std::string& reason, int64_t now,
                const RolloutState& before) {
  options.action = action;
  options.percent = percent;
  options.reason = reason;
  RolloutState after;
  std::string message;
  if (ChangeRollout(options, now, "", before, after, message) != ChangeResult::Changed) {
    return Refused(dir, message);
  }
  // A step or a completion made by the ramp is recorded as the ramp's.
  if (action != RolloutAction::Halt) after.history.back().action = "advance";
  return PutInForce(dir, options, before, after, message);
}

// What advance does not do, said on standard output.
int Waits(const std::string& what, const HealthReport* report) {
  if (report != nullptr) std::printf("health: %s\n", report->reason.c_str());
  std::printf("%s\n", what.c_str());
  return kExitDone;
}

int Advance(const std::string& dir, const RolloutOptions& options, const RolloutState& before,
            int64_t now) {
  if (before.candidate.empty())
    return Waits("no rollout is under way; nothing to advance", nullptr);
  if (before.halted) {
    return Waits("release " + before.candidate + " is halted; nothing to advance", nullptr);
  }
  HealthReport report;
  std::string error;
  if (!CheckReleaseHealth(dir, options.gate, report, error)) return Refused(dir, error);
  if (report.verdict == HealthVerdict::kFail) {
    std::fprintf(stderr, "%s: the health gate failed: %s\n", dir.c_str(), report.reason.c_str());
    // Prints the halt, or why it could not be made.
    AdvanceWith(dir, options, RolloutAction::Halt, 0, "the health gate failed: " + report.reason,
                now, before);
    return kExitRefused;
  }
  double percent = 0;
  int64_t due = 0;
  switch (NextRampMove(before, now, percent, due)) {
    case RampMove::kNone:
      return Waits("the ramp has no step to take", &report);
    case RampMove::kWait:
      return Waits("the next step is due at " + UtcTimeText(due), &report);
    case RampMove::kStep:
    case RampMove::kComplete:
      break;
  }
  if (report.verdict != HealthVerdict::kPass) {
    return Waits("the next step is due, but the health gate has no verdict yet", &report);
  }
  RolloutAction action =
      percent >= 100 && before.percent >= 100 ? RolloutAction::Complete : RolloutAction::Set;
  return AdvanceWith(dir, options, action, percent, "the health gate passed: " + report.reason, now,
                     before);
}

bool AbsoluteFolder(const std::string& dir, std::string& absolute, std::string& error) {
  char resolved[PATH_MAX];
  if (realpath(dir.c_str(), resolved) == nullptr) {
    error = std::strerror(errno);
    return false;
  }
  absolute = resolved;
  if (IsPathSafeForNginx(absolute)) return true;
  error = "its path " + absolute +
          " holds characters an nginx configuration cannot take as they "
          "are (spaces, quotes, \"$\", \";\", \"#\", braces)";
  return false;
}

int ChangeCommand(const RolloutOptions& options) {
  std::string dir, error;
  StoreSession store;
  RolloutState before;
  if (!AbsoluteFolder(options.dir, dir, error) || !store.Open(dir, false, error) ||
      !LoadRolloutState(dir, before, error)) {
    return Refused(options.dir, error);
  }
  ReleaseRecord record;
  if (options.action == RolloutAction::Start &&
      !LoadStoredRelease(dir, options.release, record, error)) {
    return Refused(options.dir,
                   "holds no release " + options.release +
                       " in its store (publish it with release --candidate): " + error);
  }
  int64_t now = std::time(nullptr);
  if (options.action == RolloutAction::Advance) return Advance(dir, options, before, now);
  std::string salt;
  if (options.action == RolloutAction::Start && !DrawSalt(salt)) {
    return Refused(options.dir, "could not read the system's random source for a salt");
  }
  RolloutState after;
  std::string message;
  switch (ChangeRollout(options, now, salt, before, after, message)) {
    case ChangeResult::Refused:
      return Refused(options.dir, message);
    case ChangeResult::Unchanged:
      std::printf("%s; nothing changed\n", message.c_str());
      return kExitDone;
    case ChangeResult::Changed:
      break;
  }
  return PutInForce(dir, options, before, after, message);
}

}  // namespace

int RunRolloutCommand(int argc, char* argv[]) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  RolloutOptions options;
  std::string error;
  switch (ParseRolloutOptions(argc, argv, options, error)) {
    case OptionsResult::Help:
      std::fputs(kRolloutUsage, stdout);
      return kExitDone;
    case OptionsResult::Invalid:
      std::fprintf(stderr, "plumix-publish rollout: %s\n\n%s", error.c_str(), kRolloutUsage);
      return kExitUsage;
    case OptionsResult::Parsed:
      break;
  }
  return options.action == RolloutAction::Status ? ShowStatus(options) : ChangeCommand(options);
}
