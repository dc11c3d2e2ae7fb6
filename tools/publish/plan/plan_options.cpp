#include "plan/plan_options.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

const char kPlanUsage[] =
    "usage: plumix-publish plan --clients N --check-frequency F --package-mib M [OPTION]...\n"
    "Simulates what a fleet of clients of the update service asks of the update origin:\n"
    "manifest requests on ordinary days and package downloads after a release, by the\n"
    "service's own task schedule, due test and attempt limit.\n"
    "Fleet:\n"
    "  --clients N           clients in the fleet, 1 to 100000000\n"
    "  --check-frequency F   the manifest's checkFrequency: 1 or less sets the task to\n"
    "                        60 minutes after a check, 2 to 120, any other value to 240\n"
    "  --package-mib M       size of a package in MiB (up to 65536), both variants\n"
    "  --activex-mib M       size of the ActiveX package (default: --package-mib)\n"
    "  --plugin-mib M        size of the browser plug-in's package (default: --package-mib)\n"
    "  --both-variants-percent P  machines with both variants (default 0): the cycle\n"
    "                        installs ActiveX first and the plug-in at a later due check\n"
    "  --plugin-only-percent P    machines with only the browser plug-in (default 0);\n"
    "                        the rest have only ActiveX\n"
    "  --uptime MODE         always: machines never off (default); office: on weekdays\n"
    "                        from 08:00 (start-up spread over the first hour) to 18:00\n"
    "  --scheduler V         2: task start times from the Task Scheduler 2.0 start\n"
    "                        boundary (default); 1: from the Task Scheduler 1.0 trigger\n"
    "  --start-interval I    the task's interval when the run takes a client up:\n"
    "                        hourly (default), as a cycle that was not due leaves it,\n"
    "                        or manifest, as a check just before leaves it; it decides\n"
    "                        an office machine's first firing after the weekend\n"
    "Client:\n"
    "  --request-window L-H  whole seconds from a firing to the manifest request, drawn\n"
    "                        once per client (default 2-10: starting the service and\n"
    "                        connecting)\n"
    "  --startup-jitter-s J  plus up to J seconds drawn per firing (default 2: the same\n"
    "                        machine starts faster or slower from run to run); above the\n"
    "                        1 s fetch it lets some firings 24 hours after a check be due\n"
    "  --fetch-failure-percent P  manifest fetches that fail after reaching the origin,\n"
    "                        retried at the next hourly firing (default 0)\n"
    "  --failure-percent P   install attempts that fail after downloading the whole\n"
    "                        package, retried at later due checks (default 1)\n"
    "  --client-mbps R       download speed of one client in Mbit/s (default 20)\n"
    "  --installer-resets on|off  whether the installer runs -createDefaultTask at its\n"
    "                        end (default on): the attempt count and the last check go\n"
    "                        to 0, so the next hourly firing checks again\n"
    "Release:\n"
    "  --days D              days simulated, 1 to 366 (default 14)\n"
    "  --release-day K       the new version is announced at 00:00 UTC of day K\n"
    "                        (default 7); a day past the run announces none within it\n"
    "  --rollout P1,P2,...   staged rollout: the percent of the fleet shown the new\n"
    "                        version, one step every --step-hours (default 100: all)\n"
    "  --step-hours H        hours per rollout step (default 24)\n"
    "  --canary-clients N    clients shown the new version from the announcement\n"
    "                        whatever the step (default 0)\n"
    "  --bad-release P       machines on which the new installer does not take: the\n"
    "                        version is not registered and each due check downloads it\n"
    "                        again, one attempt more (default 0)\n"
    "  --gate-percent G      the rollout halts at the end of a day on which repeat\n"
    "                        downloads exceed G % of the due checks shown the new\n"
    "                        version by clients that downloaded it a day or more\n"
    "                        before (default 5; 100 never halts)\n"
    "Output:\n"
    "  --seed S              seed of every random draw (default 1): the same seed\n"
    "                        gives the same figures\n"
    "  --csv FILE            write every minute's counts to FILE\n"
    "  --plot FILE.png       draw requests and bandwidth over time, the release marked\n"
    "                        (needs /usr/bin/python3 with matplotlib)\n"
    "  --help                this text\n"
    "Assumptions: day 0 is a Monday and UTC is every machine's local time; a firing\n"
    "while the machine is off is lost; the fetch ends 1 s after the request; always-on\n"
    "clients start in their steady state (last check within 25 hours before day 0),\n"
    "office fleets are simulated from a week before day 0 so that they settle.\n";

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

template <typename Whole>
bool ParseWholeInto(const std::string& text, int64_t low, int64_t high, Whole& value) {
  int64_t parsed = 0;
  if (!ParseWhole(text, low, high, parsed)) return false;
  value = static_cast<Whole>(parsed);
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

bool ParsePercent(const std::string& text, double& value) {
  return ParseNumber(text, 0, 100, value);
}

bool ParseSeed(const std::string& text, uint64_t& value) {
  const char* end = text.data() + text.size();
  std::from_chars_result result = std::from_chars(text.data(), end, value);
  return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

bool ParseChoice(const std::string& text, const char* yes, const char* no, bool& value) {
  if (text != yes && text != no) return false;
  value = text == yes;
  return true;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() > suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// "L-H" with 0 <= L <= H <= 255.
bool ParseWindow(const std::string& text, PlanSettings& settings) {
  std::size_t dash = text.find('-');
  if (dash == std::string::npos) return false;
  int64_t low = 0, high = 0;
  if (!ParseWhole(text.substr(0, dash), 0, 255, low) ||
      !ParseWhole(text.substr(dash + 1), low, 255, high)) {
    return false;
  }
  settings.requestWindowLow = static_cast<int>(low);
  settings.requestWindowHigh = static_cast<int>(high);
  return true;
}

// Percents separated by commas, none lower than the one before.
bool ParseRollout(const std::string& text, std::vector<double>& steps) {
  std::vector<double> read;
  std::size_t from = 0;
  while (from <= text.size()) {
    std::size_t comma = std::min(text.find(',', from), text.size());
    double percent = 0;
    if (!ParsePercent(text.substr(from, comma - from), percent)) return false;
    if (!read.empty() && percent < read.back()) return false;
    read.push_back(percent);
    from = comma + 1;
  }
  steps = read;
  return true;
}

using ApplyOption = bool (*)(const std::string& value, PlanOptions& options);

struct OptionRule {
  const char* name;
  ApplyOption apply;
};

// Every option that takes a value, and how it reads it; false when the value
// is out of its range.
const OptionRule kOptionRules[] = {
    {"--clients",
     [](const std::string& v, PlanOptions& o) {
       return ParseWholeInto(v, 1, 100000000, o.settings.clients);
     }},
    {"--check-frequency",
     [](const std::string& v, PlanOptions& o) {
       return ParseWholeInto(v, INT32_MIN, INT32_MAX, o.settings.checkFrequency);
     }},
    {"--package-mib",
     [](const std::string& v, PlanOptions& o) {
       return ParseNumber(v, 1.0 / 1048576, 65536, o.packageMiB);
     }},
    {"--activex-mib",
     [](const std::string& v, PlanOptions& o) {
       return ParseNumber(v, 1.0 / 1048576, 65536, o.variantMiB[kActiveX]);
     }},
    {"--plugin-mib",
     [](const std::string& v, PlanOptions& o) {
       return ParseNumber(v, 1.0 / 1048576, 65536, o.variantMiB[kPlugin]);
     }},
    {"--both-variants-percent",
     [](const std::string& v, PlanOptions& o) {
       return ParsePercent(v, o.settings.bothVariantsPercent);
     }},
    {"--plugin-only-percent",
     [](const std::string& v, PlanOptions& o) {
       return ParsePercent(v, o.settings.pluginOnlyPercent);
     }},
    {"--days", [](const std::string& v,
                  PlanOptions& o) { return ParseWholeInto(v, 1, 366, o.settings.days); }},
    {"--uptime",
     [](const std::string& v, PlanOptions& o) {
       bool always = true;
       if (!ParseChoice(v, "always", "office", always)) return false;
       o.settings.uptime = always ? Uptime::kAlways : Uptime::kOffice;
       return true;
     }},
    {"--release-day",
     [](const std::string& v, PlanOptions& o) {
       return ParseWholeInto(v, 0, 10000, o.settings.releaseDay);
     }},
    {"--seed", [](const std::string& v, PlanOptions& o) { return ParseSeed(v, o.settings.seed); }},
    {"--scheduler",
     [](const std::string& v, PlanOptions& o) {
       return ParseWholeInto(v, 1, 2, o.settings.schedulerVersion);
     }},
    {"--failure-percent",
     [](const std::string& v, PlanOptions& o) {
       return ParsePercent(v, o.settings.failurePercent);
     }},
    {"--client-mbps",
     [](const std::string& v, PlanOptions& o) {
       return ParseNumber(v, 0.001, 1e6, o.settings.clientMbps);
     }},
    {"--start-interval",
     [](const std::string& v, PlanOptions& o) {
       return ParseChoice(v, "manifest", "hourly", o.settings.startAtManifestInterval);
     }},
    {"--request-window",
     [](const std::string& v, PlanOptions& o) { return ParseWindow(v, o.settings); }},
    {"--startup-jitter-s",
     [](const std::string& v, PlanOptions& o) {
       return ParseNumber(v, 0, 600, o.settings.startupJitterSeconds);
     }},
    {"--fetch-failure-percent",
     [](const std::string& v, PlanOptions& o) {
       return ParsePercent(v, o.settings.fetchFailurePercent);
     }},
    {"--installer-resets",
     [](const std::string& v, PlanOptions& o) {
       return ParseChoice(v, "on", "off", o.settings.installerResets);
     }},
    {"--rollout", [](const std::string& v,
                     PlanOptions& o) { return ParseRollout(v, o.settings.rolloutPercent); }},
    {"--step-hours",
     [](const std::string& v, PlanOptions& o) {
       return ParseWholeInto(v, 1, 8784, o.settings.stepHours);
     }},
    {"--canary-clients",
     [](const std::string& v, PlanOptions& o) {
       return ParseWholeInto(v, 0, 100000000, o.settings.canaryClients);
     }},
    {"--bad-release", [](const std::string& v,
                         PlanOptions& o) { return ParsePercent(v, o.settings.badReleasePercent); }},
    {"--gate-percent",
     [](const std::string& v, PlanOptions& o) { return ParsePercent(v, o.settings.gatePercent); }},
    {"--csv",
     [](const std::string& v, PlanOptions& o) {
       o.csvPath = v;
       return !v.empty();
     }},
    {"--plot",
     [](const std::string& v, PlanOptions& o) {
       o.plotPath = v;
       return EndsWith(v, ".png");
     }},
};

const OptionRule* RuleFor(const std::string& argument) {
  for (const OptionRule& rule : kOptionRules) {
    if (argument == rule.name) return &rule;
  }
  return nullptr;
}

// What the options ask together; false with the reason when they disagree
// or a required one is missing.
bool Settle(PlanOptions& options, std::string& error) {
  PlanSettings& settings = options.settings;
  for (int variant = kActiveX; variant < kVariantCount; ++variant) {
    settings.packageMiB[variant] =
        options.variantMiB[variant] > 0 ? options.variantMiB[variant] : options.packageMiB;
  }
  if (settings.clients == 0) {
    error = "--clients is required";
  } else if (!options.haveFrequency) {
    error = "--check-frequency is required";
  } else if (settings.packageMiB[kActiveX] <= 0 || settings.packageMiB[kPlugin] <= 0) {
    error = "--package-mib is required";
  } else if (settings.bothVariantsPercent + settings.pluginOnlyPercent > 100) {
    error = "--both-variants-percent and --plugin-only-percent add up to more than 100";
  } else if (settings.canaryClients > settings.clients) {
    error = "--canary-clients is more than --clients";
  }
  return error.empty();
}

}  // namespace

bool ParsePlanOptions(const std::vector<std::string>& arguments, PlanOptions& options,
                      std::string& error) {
  PlanOptions read;
  for (std::size_t index = 0; index < arguments.size(); ++index) {
    const std::string& argument = arguments[index];
    if (argument == "--help" || argument == "-h") {
      read.help = true;
      continue;
    }
    const OptionRule* rule = RuleFor(argument);
    if (rule == nullptr) {
      error = "unknown option " + argument;
      return false;
    }
    if (index + 1 >= arguments.size()) {
      error = argument + " needs a value";
      return false;
    }
    const std::string& value = arguments[++index];
    if (!rule->apply(value, read)) {
      error = "bad value for " + argument + ": " + value;
      return false;
    }
    read.haveFrequency |= argument == "--check-frequency";
  }
  if (!read.help && !Settle(read, error)) return false;
  options = read;
  return true;
}
