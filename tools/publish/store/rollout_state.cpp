#include "store/rollout_state.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>
#include <type_traits>

#include "base/file_bytes.h"
#include "store/atomic_file.h"
#include "store/store_layout.h"
#include "store/utc_time.h"

using Json = nlohmann::ordered_json;

namespace {

constexpr uint64_t kStateLimit = 16 << 20;

Json HistoryJson(const RolloutHistoryEntry& entry) {
  return Json{{"time", UtcTimeText(entry.time)},
              {"action", entry.action},
              {"release", entry.release},
              {"percent", entry.percent},
              {"reason", entry.reason}};
}

bool Read(const Json& json, const char* name, std::string& value) {
  auto field = json.find(name);
  if (field == json.end() || !field->is_string()) return false;
  value = field->get<std::string>();
  return true;
}

bool Read(const Json& json, const char* name, double& value) {
  auto field = json.find(name);
  if (field == json.end() || !field->is_number()) return false;
  value = field->get<double>();
  return true;
}

bool Read(const Json& json, const char* name, bool& value) {
  auto field = json.find(name);
  if (field == json.end() || !field->is_boolean()) return false;
  value = field->get<bool>();
  return true;
}

template <typename T>
bool Read(const Json& json, const char* name, std::vector<T>& values) {
  auto field = json.find(name);
  if (field == json.end() || !field->is_array()) return false;
  for (const Json& item : *field) {
    if (std::is_same_v<T, std::string> ? !item.is_string() : !item.is_number()) return false;
    values.push_back(item.get<T>());
  }
  return true;
}

bool ReadTime(const Json& json, const char* name, int64_t& value) {
  std::string text;
  return Read(json, name, text) && ParseUtcTime(text, value);
}

bool ReadHistory(const Json& json, std::vector<RolloutHistoryEntry>& history) {
  auto entries = json.find("history");
  if (entries == json.end() || !entries->is_array()) return false;
  for (const Json& item : *entries) {
    RolloutHistoryEntry entry;
    if (!item.is_object() || !ReadTime(item, "time", entry.time) ||
        !Read(item, "action", entry.action) || !Read(item, "release", entry.release) ||
        !Read(item, "percent", entry.percent) || !Read(item, "reason", entry.reason)) {
      return false;
    }
    history.push_back(std::move(entry));
  }
  return true;
}

bool ReadRamp(const Json& json, RolloutState& state) {
  auto ramp = json.find("ramp");
  if (ramp == json.end() || !ramp->is_object()) return false;
  state.stepStarted = 0;
  return Read(*ramp, "steps", state.steps) && Read(*ramp, "stepHours", state.stepHours) &&
         (state.steps.empty() || ReadTime(*ramp, "stepStarted", state.stepStarted));
}

}  // namespace

bool RolloutState::Varies() const {
  return !candidate.empty() && !halted && (percent > 0 || !canaries.empty());
}

double RolloutState::EffectivePercent() const { return candidate.empty() || halted ? 0 : percent; }

std::string RolloutStateText(const RolloutState& state) {
  Json ramp = {{"steps", state.steps}, {"stepHours", state.stepHours}};
  if (!state.steps.empty()) ramp["stepStarted"] = UtcTimeText(state.stepStarted);
  Json history = Json::array();
  for (const RolloutHistoryEntry& entry : state.history) history.push_back(HistoryJson(entry));
  Json json = {{"current", state.current},
               {"candidate", state.candidate},
               {"percent", state.percent},
               {"halted", state.halted},
               {"salt", state.salt},
               {"canaries", state.canaries},
               {"trustedProxies", state.trustedProxies},
               {"ramp", ramp},
               {"history", history}};
  return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

bool ParseRolloutState(const std::string& text, RolloutState& state) {
  Json json = Json::parse(text, nullptr, false);
  RolloutState parsed;
  if (json.is_discarded() || !json.is_object() || !Read(json, "current", parsed.current) ||
      !Read(json, "candidate", parsed.candidate) || !Read(json, "percent", parsed.percent) ||
      !Read(json, "halted", parsed.halted) || !Read(json, "salt", parsed.salt) ||
      !Read(json, "canaries", parsed.canaries) ||
      !Read(json, "trustedProxies", parsed.trustedProxies) || !ReadRamp(json, parsed) ||
      !ReadHistory(json, parsed.history)) {
    return false;
  }
  state = std::move(parsed);
  return true;
}

bool LoadRolloutState(const std::string& dir, RolloutState& state, std::string& error) {
  std::string path = RolloutStatePath(dir);
  RolloutState loaded;
  struct stat status = {};
  if (lstat(path.c_str(), &status) != 0) {
    if (errno != ENOENT) {
      error = path + ": " + std::strerror(errno);
      return false;
    }
  } else {
    std::string text;
    if (!ReadFileBytes(path, kStateLimit, text, error)) {
      error = path + ": " + error;
      return false;
    }
    if (!ParseRolloutState(text, loaded)) {
      error = path + ": not a rollout state (a field is missing or of the wrong type)";
      return false;
    }
  }
  // What is served is the truth about the current release, also when a
  // crash came between the swap and the state's update.
  std::string served = ServedReleaseName(dir);
  if (!served.empty()) loaded.current = served;
  state = std::move(loaded);
  return true;
}

bool SaveRolloutState(const std::string& dir, const RolloutState& state, std::string& error) {
  return ReplaceFileAtomically(RolloutStatePath(dir), RolloutStateText(state), error);
}
