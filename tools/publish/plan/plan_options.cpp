#include "plan/plan_options.h"

#include <charconv>
#include <cmath>
#include <cstdint>

const char kPlanUsage[] =
    "usage: plumix-publish plan --clients N --check-frequency F --package-mib M [OPTION]...\n"
    "Simulates what a fleet of clients of the update service asks of the update origin:\n"
    "manifest requests on ordinary days and package downloads after a release, by the\n"
    "service's own task schedule, due test and attempt limit.\n"
    "  --clients N           clients in the fleet, 1 to 100000000\n"
    "  --check-frequency F   the manifest's checkFrequency: 1 or less sets the task to\n"
    "                        60 minutes after a check, 2 to 120, any other value to 240\n"
    "  --package-mib M       size of one package in MiB (up to 65536)\n"
    "  --days D              days simulated, 1 to 366 (default 14)\n"
    "  --uptime MODE         always: machines never off (default); office: on weekdays\n"
    "                        from 08:00 (start-up spread over the first hour) to 18:00\n"
    "  --release-day K       the new version is announced at 00:00 UTC of day K\n"
    "                        (default 7); a day past the run announces none within it\n"
    "  --seed S              seed of every random draw (default 1): the same seed\n"
    "                        gives the same figures\n"
    "  --scheduler V         2: task start times from the Task Scheduler 2.0 start\n"
    "                        boundary (default); 1: from the Task Scheduler 1.0 trigger\n"
    "  --failure-percent P   share of install attempts that fail after downloading the\n"
    "                        whole package, retried at later due checks (default 1)\n"
    "  --client-mbps R       download speed of one client in Mbit/s (default 20)\n"
    "  --start-interval I    the task's interval when the run takes a client up:\n"
    "                        hourly (default), as a cycle that was not due leaves it,\n"
    "                        or manifest, as a check just before leaves it; it decides\n"
    "                        an office machine's first firing after the weekend\n"
    "  --csv FILE            write every minute's counts to FILE\n"
    "  --plot FILE.png       draw requests and bandwidth over time, the release marked\n"
    "                        (needs /usr/bin/python3 with matplotlib)\n"
    "  --help                this text\n"
    "Assumptions: day 0 is a Monday and UTC is every machine's local time; a firing\n"
    "while the machine is off is lost; a client's manifest request follows its firing\n"
    "by 2 to 10 s (fixed per client) and the fetch ends 1 s later; always-on clients\n"
    "start in their steady state (last check within 25 hours before day 0), office\n"
    "fleets are simulated from a week before day 0 so that they settle.\n";

namespace {

bool ParseWhole(const std::string& text, int64_t low, int64_t high, int64_t& value) {
  int64_t parsed = 0;
  const char* end = text.data() + text.size();
  std::from_chars_result result = std::from_chars(text.data(), end, parsed);
  if (text.empty() || result.ec != std::errc() || result.ptr != end) return false;
  if (parsed < low || parsed > high) return false;
  value = parsed;
  return true;
}

bool ParseNumber(const std::string& text, double low, double high, double& value) {
  double parsed = 0;
  const char* end = text.data() + text.size();
  std::from_chars_result result = std::from_chars(text.data(), end, parsed);
  if (text.empty() || result.ec != std::errc() || result.ptr != end) return false;
  if (!std::isfinite(parsed) || parsed < low || parsed > high) return false;
  value = parsed;
  return true;
}

bool ParseSeed(const std::string& text, uint64_t& value) {
  const char* end = text.data() + text.size();
  std::from_chars_result result = std::from_chars(text.data(), end, value);
  return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() > suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Applies one option's value; false when the value is out of its range.
bool ApplyValue(const std::string& name, const std::string& value, PlanOptions& options) {
  PlanSettings& settings = options.settings;
  int64_t whole = 0;
  if (name == "--clients") {
    if (!ParseWhole(value, 1, 100000000, whole)) return false;
    settings.clients = static_cast<uint32_t>(whole);
  } else if (name == "--check-frequency") {
    if (!ParseWhole(value, INT32_MIN, INT32_MAX, whole)) return false;
    settings.checkFrequency = static_cast<int32_t>(whole);
  } else if (name == "--package-mib") {
    return ParseNumber(value, 1.0 / 1048576, 65536, settings.packageMiB);
  } else if (name == "--days") {
    if (!ParseWhole(value, 1, 366, whole)) return false;
    settings.days = static_cast<int>(whole);
  } else if (name == "--uptime") {
    if (value != "always" && value != "office") return false;
    settings.uptime = value == "always" ? Uptime::kAlways : Uptime::kOffice;
  } else if (name == "--release-day") {
    if (!ParseWhole(value, 0, 10000, whole)) return false;
    settings.releaseDay = static_cast<int>(whole);
  } else if (name == "--seed") {
    return ParseSeed(value, settings.seed);
  } else if (name == "--scheduler") {
    if (!ParseWhole(value, 1, 2, whole)) return false;
    settings.schedulerVersion = static_cast<int>(whole);
  } else if (name == "--failure-percent") {
    return ParseNumber(value, 0, 100, settings.failurePercent);
  } else if (name == "--client-mbps") {
    return ParseNumber(value, 0.001, 1e6, settings.clientMbps);
  } else if (name == "--start-interval") {
    if (value != "hourly" && value != "manifest") return false;
    settings.startAtManifestInterval = value == "manifest";
  } else if (name == "--csv") {
    options.csvPath = value;
    return !value.empty();
  } else {
    options.plotPath = value;
    return EndsWith(value, ".png");
  }
  return true;
}

bool TakesValue(const std::string& argument) {
  static const char* const kNames[] = {"--clients",       "--check-frequency", "--package-mib",
                                       "--days",          "--uptime",          "--release-day",
                                       "--seed",          "--scheduler",       "--csv",
                                       "--plot",          "--failure-percent", "--client-mbps",
                                       "--start-interval"};
  for (const char* name : kNames) {
    if (argument == name) return true;
  }
  return false;
}

}  // namespace

bool ParsePlanOptions(const std::vector<std::string>& arguments, PlanOptions& options,
                      std::string& error) {
  PlanOptions read;
  bool haveClients = false, haveFrequency = false, havePackage = false;
  for (std::size_t index = 0; index < arguments.size(); ++index) {
    const std::string& argument = arguments[index];
    if (argument == "--help" || argument == "-h") {
      read.help = true;
      continue;
    }
    if (!TakesValue(argument)) {
      error = "unknown option " + argument;
      return false;
    }
    if (index + 1 >= arguments.size()) {
      error = argument + " needs a value";
      return false;
    }
    const std::string& value = arguments[++index];
    if (!ApplyValue(argument, value, read)) {
      error = "bad value for " + argument + ": " + value;
      return false;
    }
    haveClients |= argument == "--clients";
    haveFrequency |= argument == "--check-frequency";
    havePackage |= argument == "--package-mib";
  }
  if (!read.help && !(haveClients && haveFrequency && havePackage)) {
    error = !haveClients     ? "--clients is required"
            : !haveFrequency ? "--check-frequency is required"
                             : "--package-mib is required";
    return false;
  }
  options = read;
  return true;
}
