#include "rollout/rollout_status.h"

#include <nlohmann/json.hpp>
#include <sstream>

#include "rollout/ramp.h"
#include "rollout/rollout_changes.h"
#include "store/utc_time.h"

using Json = nlohmann::ordered_json;

namespace {

std::string Joined(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : ", ") + item;
  return text;
}

void WriteCandidate(std::ostringstream& text, const RolloutState& state) {
  if (state.candidate.empty()) {
    text << "candidate: none (everyone is shown the current release)\n";
    return;
  }
  text << "candidate: release " << state.candidate;
  if (state.halted) {
    text << ", halted (everyone is shown the current release; resume shows it again to "
         << PercentText(state.percent) << ")\n";
  } else {
    text << ", shown to " << PercentText(state.percent) << " of the addresses\n";
  }
  if (!state.canaries.empty()) text << "canary ranges: " << Joined(state.canaries) << "\n";
  text << "salt: " << state.salt << "\n";
}

void WriteRamp(std::ostringstream& text, const RolloutState& state, int64_t now) {
  if (state.steps.empty()) return;
  std::string steps;
  for (double step : state.steps) steps += (steps.empty() ? "" : ", ") + PercentText(step);
  text << "ramp: " << steps << ", " << state.stepHours << " h each; this step since "
       << UtcTimeText(state.stepStarted) << "\n";
  double percent = 0;
  int64_t due = 0;
  switch (NextRampMove(state, now, percent, due)) {
    case RampMove::kNone:
      break;
    case RampMove::kWait:
    case RampMove::kStep:
      text << "next: "
           << (percent >= 100 && state.percent >= 100 ? "complete" : PercentText(percent))
           << " from " << UtcTimeText(due) << ", when the health gate passes\n";
      break;
    case RampMove::kComplete:
      text << "next: complete from " << UtcTimeText(due) << ", when the health gate passes\n";
      break;
  }
}

}  // namespace

std::string RolloutStatusText(const RolloutState& state, int64_t now) {
  std::ostringstream text;
  text << "current release: " << (state.current.empty() ? "none" : state.current) << "\n";
  WriteCandidate(text, state);
  if (!state.trustedProxies.empty()) {
    text << "trusted proxies: " << Joined(state.trustedProxies) << "\n";
  }
  WriteRamp(text, state, now);
  text << "history:\n";
  for (const RolloutHistoryEntry& entry : state.history) {
    text << "  " << UtcTimeText(entry.time) << "  " << entry.action << " " << entry.release << " ("
         << PercentText(entry.percent) << "): " << entry.reason << "\n";
  }
  return text.str();
}

std::string RolloutStatusJson(const RolloutState& state, int64_t now) {
  Json json = Json::parse(RolloutStateText(state));
  json["shownPercent"] = state.EffectivePercent();
  double percent = 0;
  int64_t due = 0;
  RampMove move = NextRampMove(state, now, percent, due);
  if (move != RampMove::kNone) {
    bool completes = move == RampMove::kComplete || state.percent >= 100;
    json["next"] = {{"action", completes ? "complete" : "set"},
                    {"percent", percent},
                    {"due", UtcTimeText(due)}};
  }
  return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}
