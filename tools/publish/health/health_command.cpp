#include "health/health_command.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "exit_status.h"
#include "health/health_gate.h"
#include "health/health_report.h"

namespace {

const char kName[] = "plumix-publish health";

const char kUsage[] =
    "usage: plumix-publish health DIR --access-log FILE... [OPTION]...\n"
    "Reads the origin's access logs (nginx's combined format, plain or .gz, in any order)\n"
    "and reports per day and cohort what the service's clients asked for, and whether\n"
    "the rollout's candidate takes: a release that does not take makes every machine\n"
    "download it again at each daily check.\n"
    "  --access-log FILE...       the logs; every argument up to the next option is one\n"
    "                             (repeatable)\n"
    "  --max-repeat-percent P     fail when the candidate cohort's share of manifest\n"
    "                             fetches followed by a repeated download exceeds the\n"
    "                             control cohort's by more than P points (default 10)\n"
    "  --min-clients N            give a verdict only once N addresses of the candidate\n"
    "                             cohort were seen (default 100)\n"
    "  --json                     the report as one JSON document\n"
    "  --help                     this text\n"
    "Exit status: 0 the candidate passes (or no verdict yet), 1 it fails or a file\n"
    "cannot be read, 2 usage.\n";

struct HealthOptions {
  std::string dir;
  HealthGateOptions gate;
  bool json = false;
  bool help = false;
};

bool ReadPercent(const std::string& text, double& value) {
  const char* end = text.data() + text.size();
  std::from_chars_result result = std::from_chars(text.data(), end, value);
  return !text.empty() && result.ec == std::errc() && result.ptr == end && std::isfinite(value) &&
         value >= 0 && value <= 100;
}

bool ReadCount(const std::string& text, uint64_t& value) {
  const char* end = text.data() + text.size();
  std::from_chars_result result = std::from_chars(text.data(), end, value);
  return !text.empty() && result.ec == std::errc() && result.ptr == end && value >= 1;
}

bool IsOption(const std::string& argument) { return argument.compare(0, 2, "--") == 0; }

// Applies the option at arguments[index], moving index past its values.
bool ApplyOption(const std::vector<std::string>& arguments, size_t& index, HealthOptions& options,
                 std::string& error) {
  const std::string& name = arguments[index];
  if (name == "--help") return options.help = true;
  if (name == "--json") return options.json = true;
  bool hasValue = index + 1 < arguments.size() && !IsOption(arguments[index + 1]);
  if (name == "--access-log") {
    if (!hasValue) error = "--access-log needs a file";
    while (index + 1 < arguments.size() && !IsOption(arguments[index + 1])) {
      options.gate.accessLogs.push_back(arguments[++index]);
    }
    return hasValue;
  }
  if (name != "--max-repeat-percent" && name != "--min-clients") {
    error = "unknown option " + name;
    return false;
  }
  if (!hasValue) {
    error = name + " needs a value";
    return false;
  }
  const std::string& value = arguments[++index];
  bool read = name == "--min-clients" ? ReadCount(value, options.gate.minClients)
                                      : ReadPercent(value, options.gate.maxRepeatPercent);
  if (!read) error = "bad value for " + name + ": " + value;
  return read;
}

bool ParseHealthOptions(const std::vector<std::string>& arguments, HealthOptions& options,
                        std::string& error) {
  for (size_t index = 0; index < arguments.size(); ++index) {
    if (!IsOption(arguments[index])) {
      if (!options.dir.empty()) {
        error = "one DIR expected, also given " + arguments[index];
        return false;
      }
      options.dir = arguments[index];
    } else if (!ApplyOption(arguments, index, options, error)) {
      return false;
    }
  }
  if (options.help) return true;
  if (options.dir.empty()) error = "DIR is required";
  if (options.gate.accessLogs.empty()) error = "--access-log is required";
  return error.empty();
}

}  // namespace

int RunHealthCommand(int argc, char* argv[]) {
  HealthOptions options;
  std::string error;
  if (!ParseHealthOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
    std::fprintf(stderr, "%s: %s\n%s", kName, error.c_str(), kUsage);
    return kExitUsage;
  }
  if (options.help) {
    std::fputs(kUsage, stdout);
    return kExitDone;
  }
  HealthReport report;
  if (!CheckReleaseHealth(options.dir, options.gate, report, error)) {
    std::fprintf(stderr, "%s: %s\n", kName, error.c_str());
    return kExitRefused;
  }
  std::string text = options.json ? HealthReportJson(report) : HealthReportText(report);
  std::fputs(text.c_str(), stdout);
  return report.verdict == HealthVerdict::kFail ? kExitRefused : kExitDone;
}
