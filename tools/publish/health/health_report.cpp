#include "health/health_report.h"

#include <nlohmann/json.hpp>

#include <climits>
#include <cstdio>

#include "store/utc_time.h"

namespace {

using Json = nlohmann::ordered_json;

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

double Share(uint64_t part, uint64_t whole) { return whole == 0 ? 0 : 100.0 * part / whole; }

std::string RolloutLine(const HealthReport& report) {
  if (report.candidate.empty()) {
    return "rollout: none; everyone is served " +
           (report.current.empty() ? std::string("the tree in place") : report.current) + "\n";
  }
  return "rollout: candidate " + report.candidate + " at " + Format("%g %%", report.percent) +
         (report.halted ? " (halted)" : "") + ", current " + report.current + "\n" +
         "exposure: the candidate served for " + Format("%.1f days", report.exposedDays) +
         "; a release that does not take costs each machine in its cohort one of its 7 install "
         "attempts a day\n";
}

std::string LogsLine(const LogCounts& counts) {
  std::string text = "logs: " + std::to_string(counts.lines) + " lines";
  if (counts.lastTime != 0) text += ", the last request at " + UtcTimeText(counts.lastTime);
  text += "; " + std::to_string(counts.otherFormat) + " not in the combined format (skipped), " +
          std::to_string(counts.otherRequests) + " other requests";
  if (counts.badAddresses != 0) {
    text += ", " + std::to_string(counts.badAddresses) + " from no address";
  }
  return text + "\n";
}

std::string DayRows(const ReleaseTrafficTally& tally) {
  std::string text;
  char row[160];
  std::snprintf(row, sizeof row, "%-10s  %-9s  %9s  %9s  %9s  %9s  %8s  %8s\n", "day", "cohort",
                "addresses", "fetches", "begun", "completed", "followed", "repeated");
  text += row;
  for (const auto& [when, figures] : tally.Days()) {
    std::string repeated = figures.signalFetches == 0
                               ? "-"
                               : Format("%.1f %%", Share(figures.repeats, figures.signalFetches));
    std::snprintf(row, sizeof row, "%-10s  %-9s  %9llu  %9llu  %9llu  %9llu  %8s  %8s\n",
                  DayText(when.first).c_str(), CohortName(when.second),
                  static_cast<unsigned long long>(figures.addresses),
                  static_cast<unsigned long long>(figures.fetches),
                  static_cast<unsigned long long>(figures.begun),
                  static_cast<unsigned long long>(figures.completed),
                  Format("%.1f %%", Share(figures.followed, figures.fetches)).c_str(),
                  repeated.c_str());
    text += row;
  }
  return text;
}

std::string SignalLine(const HealthReport& report) {
  if (report.signalStart == INT64_MAX) return "";
  std::string text = "signal: manifest fetches from " + UtcTimeText(report.signalStart) + " on:";
  for (Cohort cohort : {Cohort::kCandidate, Cohort::kControl}) {
    const SignalFigures& signal = report.tally->Signal(cohort);
    text += std::string(cohort == Cohort::kCandidate ? " " : ", ") + CohortName(cohort) + " " +
            Format("%.1f %%", signal.RepeatPercent()) + " repeated of " +
            std::to_string(signal.fetches) + " (" + std::to_string(signal.addresses) +
            " addresses)";
  }
  return text + "\n";
}

Json SignalJson(const SignalFigures& signal) {
  return Json{{"addresses", signal.addresses},
              {"fetches", signal.fetches},
              {"repeats", signal.repeats},
              {"repeat_percent", signal.RepeatPercent()}};
}

Json DaysJson(const ReleaseTrafficTally& tally) {
  Json days = Json::array();
  for (const auto& [when, figures] : tally.Days()) {
    Json day{{"day", DayText(when.first)},
             {"cohort", CohortName(when.second)},
             {"addresses", figures.addresses},
             {"manifest_fetches", figures.fetches},
             {"downloads_begun", figures.begun},
             {"downloads_completed", figures.completed},
             {"followed_percent", Share(figures.followed, figures.fetches)},
             {"repeat_percent", nullptr}};
    if (figures.signalFetches != 0) {
      day["repeat_percent"] = Share(figures.repeats, figures.signalFetches);
    }
    days.push_back(day);
  }
  return days;
}

}  // namespace

const char* VerdictName(HealthVerdict verdict) {
  switch (verdict) {
    case HealthVerdict::kPass: return "pass";
    case HealthVerdict::kFail: return "fail";
    case HealthVerdict::kTooEarly: break;
  }
  return "too-early";
}

std::string HealthReportText(const HealthReport& report) {
  return RolloutLine(report) + LogsLine(report.counts) + DayRows(*report.tally) +
         SignalLine(report) + "health: " + VerdictName(report.verdict) + ": " + report.reason +
         "\n";
}

std::string HealthReportJson(const HealthReport& report) {
  Json json{{"current", report.current},
            {"candidate", report.candidate},
            {"percent", report.percent},
            {"halted", report.halted},
            {"exposed_days", report.exposedDays},
            {"signal_start", nullptr},
            {"lines", report.counts.lines},
            {"other_format_lines", report.counts.otherFormat},
            {"other_requests", report.counts.otherRequests},
            {"requests_from_no_address", report.counts.badAddresses},
            {"last_request", nullptr},
            {"days", DaysJson(*report.tally)},
            {"signal",
             {{"candidate", SignalJson(report.tally->Signal(Cohort::kCandidate))},
              {"control", SignalJson(report.tally->Signal(Cohort::kControl))}}},
            {"verdict", VerdictName(report.verdict)},
            {"reason", report.reason}};
  if (report.signalStart != INT64_MAX) json["signal_start"] = UtcTimeText(report.signalStart);
  if (report.counts.lastTime != 0) json["last_request"] = UtcTimeText(report.counts.lastTime);
  return json.dump(2) + "\n";
}
