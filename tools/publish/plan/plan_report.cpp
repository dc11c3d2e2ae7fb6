#include "plan/plan_report.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "plan/plan_time.h"
#include "plan/rollout_schedule.h"
#include "task/task_schedule.h"

namespace {

const char* const kWeekdays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};

double GbitPerSecond(double bytesPerSecond) { return bytesPerSecond * 8.0 / 1e9; }

// The figures of the seconds [first, last) and their minutes.
PeriodFigures FiguresOf(const PlanRecord& record, int64_t first, int64_t last) {
  PeriodFigures figures;
  uint64_t minuteRequests = 0;
  for (int64_t second = first; second < last; ++second) {
    std::size_t at = static_cast<std::size_t>(second);
    uint32_t requests = record.requests[at];
    figures.requests += requests;
    figures.peakRequestsPerSecond = std::max(figures.peakRequestsPerSecond, requests);
    minuteRequests += requests;
    if ((second + 1) % kSecondsPerMinute == 0) {
      figures.peakRequestsPerMinute = std::max(figures.peakRequestsPerMinute, minuteRequests);
      minuteRequests = 0;
    }
    figures.peakGbitPerSecond =
        std::max(figures.peakGbitPerSecond, GbitPerSecond(record.packageBytes[at]));
    figures.terabytesSent += record.packageBytes[at] / 1e12;
  }
  figures.meanRequestsPerSecond =
      static_cast<double>(figures.requests) / static_cast<double>(last - first);
  for (int64_t minute = first / kSecondsPerMinute; minute < last / kSecondsPerMinute; ++minute) {
    figures.downloads += record.downloads[static_cast<std::size_t>(minute)];
    figures.failedDownloads += record.failedDownloads[static_cast<std::size_t>(minute)];
  }
  return figures;
}

void SetCheckInterval(PeriodFigures& figures, double seconds, uint64_t count) {
  figures.checkIntervals = count;
  figures.meanCheckIntervalHours = count == 0 ? 0 : seconds / static_cast<double>(count) / 3600.0;
}

// The rollout as the run played it: halted at the midnight after the gate day.
RolloutSchedule PlayedRollout(const PlanSettings& settings, const PlanRecord& record) {
  RolloutSchedule rollout(settings);
  if (record.gateDay >= 0) rollout.Halt((record.gateDay + int64_t{1}) * kMinutesPerDay);
  return rollout;
}

void Append(std::string& text, const char* format, ...) {
  char line[512];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(line, sizeof(line), format, arguments);
  va_end(arguments);
  text += line;
}

std::string DayName(int64_t day) {
  char name[32];
  std::snprintf(name, sizeof(name), "%" PRId64 " %s", day, kWeekdays[FloorMod(day, 7)]);
  return name;
}

void AppendFigures(std::string& text, const std::string& label, const PeriodFigures& figures,
                   uint32_t clients) {
  Append(text,
         "%-7s %11" PRIu64 " %8.1f %7u %9" PRIu64 " %10" PRIu64 " %7" PRIu64
         " %12.2f %8.2f %10.2f %%",
         label.c_str(), figures.requests, figures.meanRequestsPerSecond,
         figures.peakRequestsPerSecond, figures.peakRequestsPerMinute, figures.downloads,
         figures.failedDownloads, figures.peakGbitPerSecond, figures.terabytesSent,
         100.0 * static_cast<double>(figures.newVersionClients) / clients);
  if (figures.checkIntervals == 0) {
    Append(text, " %14s\n", "-");
  } else {
    Append(text, " %12.2f h\n", figures.meanCheckIntervalHours);
  }
}

std::string Duration(int64_t minutes) {
  char text[64];
  std::snprintf(text, sizeof(text), "%.1f h", static_cast<double>(minutes) / 60.0);
  return text;
}

std::string PercentList(const std::vector<double>& percents) {
  std::string text;
  for (double percent : percents) Append(text, "%s%g", text.empty() ? "" : ", ", percent);
  return text + " %";
}

void AppendSettings(std::string& text, const PlanSettings& settings) {
  Append(text,
         "plan: %u clients, check frequency %d (task every %d min after a check), %d days, "
         "uptime %s, seed %" PRIu64 "\n",
         settings.clients, settings.checkFrequency,
         RepetitionIntervalMinutes(settings.checkFrequency), settings.days,
         settings.uptime == Uptime::kAlways ? "always" : "office", settings.seed);
  Append(text,
         "variants: %g %% both, %g %% browser plug-in only, the rest ActiveX only; packages "
         "ActiveX %.6g MiB, plug-in %.6g MiB\n",
         settings.bothVariantsPercent, settings.pluginOnlyPercent, settings.packageMiB[kActiveX],
         settings.packageMiB[kPlugin]);
  Append(text,
         "model: Task Scheduler %d.0 start times, %s interval at the start; manifest request "
         "%d-%d s after a firing plus 0-%g s start-up jitter, fetch 1 s, %g %% of fetches fail; "
         "downloads at %.6g Mbit/s (ActiveX %.2f s, plug-in %.2f s), %g %% of install "
         "attempts fail; installer resets %s\n",
         settings.schedulerVersion, settings.startAtManifestInterval ? "the manifest's" : "hourly",
         settings.requestWindowLow, settings.requestWindowHigh, settings.startupJitterSeconds,
         settings.fetchFailurePercent, settings.clientMbps,
         DownloadSeconds(settings.packageMiB[kActiveX], settings),
         DownloadSeconds(settings.packageMiB[kPlugin], settings), settings.failurePercent,
         settings.installerResets ? "on" : "off");
}

void AppendRelease(std::string& text, const PlanSettings& settings) {
  if (settings.releaseDay >= settings.days) {
    Append(text, "release: none within the run (day %d)\n\n", settings.releaseDay);
    return;
  }
  Append(text,
         "release: announced on day %s at 00:00 UTC; rollout %s, a step every %d h, %u canary "
         "clients; the installer does not take on %g %% of machines; gate %g %%\n\n",
         DayName(settings.releaseDay).c_str(), PercentList(settings.rolloutPercent).c_str(),
         settings.stepHours, settings.canaryClients, settings.badReleasePercent,
         settings.gatePercent);
}

void AppendReleaseDays(std::string& text, const PlanSettings& settings,
                       const PlanSummary& summary) {
  if (summary.release.empty()) return;
  text +=
      "\nrelease by day: shown = share shown the new version at the day's end; repeats = "
      "downloads of a\npackage the client downloaded before; returning = due checks shown the "
      "new version by a client\nthat downloaded it a day or more before; at limit = clients "
      "with 7 attempts; health = repeats\nper returning check\n";
  Append(text, "%-7s %8s %12s %10s %9s %10s %9s %13s %8s\n", "day", "shown", "new version",
         "downloads", "repeats", "returning", "at limit", "most attempts", "health");
  for (const ReleaseFigures& day : summary.release) {
    Append(text,
           "%-7s %6.2f %% %12" PRIu64 " %10" PRIu64 " %9" PRIu64 " %10" PRIu64 " %9" PRId64
           " %13u %6.2f %%\n",
           DayName(day.day).c_str(), day.shownPercent, day.newVersionClients, day.downloads,
           day.repeatDownloads, day.returningChecks, day.attemptLimitClients, day.mostAttempts,
           day.healthPercent);
  }
  if (summary.gateDay < 0) {
    Append(text, "health signal: never above the gate of %g %%\n", settings.gatePercent);
  } else {
    Append(text, "health signal: above the gate of %g %% on day %s; rollout halted from day %d\n",
           settings.gatePercent, DayName(summary.gateDay).c_str(), summary.gateDay + 1);
  }
}

void AppendAdoption(std::string& text, const PlanSummary& summary) {
  text += "\nnew version running on every variant, from the announcement:";
  for (std::size_t index = 0; index < kAdoptionShareCount; ++index) {
    int64_t minutes = summary.minutesToShare[index];
    Append(text, "%s %g %% after %s", index == 0 ? "" : ",", 100 * kAdoptionShares[index],
           minutes < 0 ? "more than the run" : Duration(minutes).c_str());
  }
  text += "\n";
}

}  // namespace

PlanSummary SummarizePlan(const PlanSettings& settings, const PlanRecord& record) {
  PlanSummary summary;
  summary.notifyClients = record.notifyClients;
  summary.gateDay = record.gateDay;
  RolloutSchedule rollout = PlayedRollout(settings, record);
  double intervalSeconds = 0;
  uint64_t intervals = 0;
  uint64_t newVersion = 0;
  int64_t atLimit = 0;
  std::size_t shareIndex = 0;
  int64_t releaseMinute = settings.releaseDay * kMinutesPerDay;
  for (int day = 0; day < settings.days; ++day) {
    PeriodFigures figures = FiguresOf(record, day * kSecondsPerDay, (day + 1) * kSecondsPerDay);
    for (int64_t minute = day * kMinutesPerDay; minute < (day + 1) * kMinutesPerDay; ++minute) {
      newVersion += record.newVersionStarts[static_cast<std::size_t>(minute)];
      atLimit += record.attemptLimitChanges[static_cast<std::size_t>(minute)];
      while (shareIndex < kAdoptionShareCount &&
             static_cast<double>(newVersion) >=
                 std::ceil(kAdoptionShares[shareIndex] * settings.clients)) {
        // Installers that start within a minute count at its end.
        summary.minutesToShare[shareIndex++] = minute + 1 - releaseMinute;
      }
    }
    figures.newVersionClients = newVersion;
    std::size_t at = static_cast<std::size_t>(day);
    SetCheckInterval(figures, record.checkIntervalSeconds[at], record.checkIntervals[at]);
    intervalSeconds += record.checkIntervalSeconds[at];
    intervals += record.checkIntervals[at];
    summary.days.push_back(figures);
    if (day < settings.releaseDay) continue;
    const ReleaseDay& seen = record.releaseDays[at];
    summary.release.push_back(
        ReleaseFigures{day, rollout.SharePercentAt((day + int64_t{1}) * kMinutesPerDay - 1),
                       newVersion, figures.downloads, seen.repeatDownloads, seen.returningChecks,
                       atLimit, seen.mostAttempts, HealthSignalPercent(seen)});
  }
  summary.run = FiguresOf(record, 0, settings.days * kSecondsPerDay);
  summary.run.newVersionClients = newVersion;
  SetCheckInterval(summary.run, intervalSeconds, intervals);
  return summary;
}

std::string FormatPlanReport(const PlanSettings& settings, const PlanSummary& summary) {
  std::string text;
  AppendSettings(text, settings);
  AppendRelease(text, settings);
  Append(text, "%-7s %11s %8s %7s %9s %10s %7s %12s %8s %12s %14s\n", "day", "requests", "mean/s",
         "peak/s", "peak/min", "downloads", "failed", "peak Gbit/s", "sent TB", "new version",
         "check interval");
  for (std::size_t day = 0; day < summary.days.size(); ++day) {
    AppendFigures(text, DayName(static_cast<int64_t>(day)), summary.days[day], settings.clients);
  }
  AppendFigures(text, "run", summary.run, settings.clients);
  AppendReleaseDays(text, settings, summary);
  if (settings.releaseDay < settings.days) AppendAdoption(text, summary);
  Append(text, "clients switched to notify mode by the attempt limit: %u\n", summary.notifyClients);
  return text;
}
