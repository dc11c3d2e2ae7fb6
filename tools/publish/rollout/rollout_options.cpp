#include "rollout/rollout_options.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

const char kRolloutUsage[] =
    "usage: plumix-publish rollout start DIR --release NAME (--percent P | --steps P,P,...\n"
    "                                  --step-hours H) [--canary CIDR]... [--trusted-proxy "
    "CIDR]...\n"
    "       plumix-publish rollout set DIR --percent P\n"
    "       plumix-publish rollout (halt | resume | complete) DIR\n"
    "       plumix-publish rollout advance DIR --access-log FILE... [--max-repeat-percent P]\n"
    "                                  [--min-clients N]\n"
    "       plumix-publish rollout status DIR [--json]\n"
    "   changes also take [--reason TEXT] [--nginx-conf FILE] [--reload-command CMD]\n"
    "\n"
    "Shows a stored release (published with release --candidate) to a share of the client\n"
    "addresses first, decided on the origin by nginx: each address's cohort comes from the\n"
    "address (IPv4 whole, IPv6 by its /64) hashed with a salt drawn for the candidate, so a\n"
    "larger share keeps the smaller one inside it, and the manifest and the packages of one\n"
    "address always come from the same release. Every change writes the generated nginx\n"
    "files in DIR/.plumix-publish/nginx/, tests the whole nginx configuration and only then\n"
    "reloads nginx and records the change; a failure leaves the previous configuration in\n"
    "force and the state unchanged.\n"
    "\n"
    "  start                  make --release the candidate (a halted candidate is replaced)\n"
    "  set                    show the candidate to --percent of the addresses\n"
    "  halt                   show everyone the current release again (0 %); clients that\n"
    "                         installed the candidate keep it\n"
    "  resume                 show the candidate again to the same addresses as before halt\n"
    "  complete               make the candidate the current release for everyone\n"
    "  advance                for cron or a timer: halt when the health gate fails (exit 1);\n"
    "                         else move to the ramp's next step once its time has come and\n"
    "                         the gate passes, and complete after the last step of 100\n"
    "  status                 the current release, the candidate, its share and the history\n"
    "\n"
    "  --release NAME         a release in DIR's store (its version, as release printed it)\n"
    "  --percent P            the share of the addresses, 0 to 100, two decimals at most\n"
    "  --steps P,P,...        a ramp of rising shares; start begins at the first\n"
    "  --step-hours H         the time between two steps of the ramp\n"
    "  --canary CIDR          addresses that always see the candidate (the vendor's own\n"
    "                         machines); repeatable\n"
    "  --trusted-proxy CIDR   a proxy or load balancer whose X-Forwarded-For names the client;\n"
    "                         repeatable (nginx's real-IP module)\n"
    "  --reason TEXT          why, for the history (a default says what was done)\n"
    "  --nginx-conf FILE      the main nginx configuration to test (nginx -T -c FILE);\n"
    "                         default nginx's own\n"
    "  --reload-command CMD   how to reload nginx (default \"nginx -s reload\")\n"
    "  --access-log FILE...   advance: the origin's access logs for the health gate (nginx's\n"
    "                         combined format, plain or .gz); every argument up to the\n"
    "                         next option is one\n"
    "  --max-repeat-percent P advance: the gate fails when the candidate cohort's share of\n"
    "                         repeated downloads exceeds the control cohort's by more than P\n"
    "                         points (default 10)\n"
    "  --min-clients N        advance: addresses of the candidate cohort needed for a\n"
    "                         verdict (default 100)\n"
    "  --json                 status as JSON\n"
    "  --help                 this text\n"
    "\n"
    "Exit status: 0 done; 1 refused or failed, one line per reason on standard error, the\n"
    "previous state and configuration in force; 2 usage error.\n";

namespace {

struct ActionName {
  const char* name;
  RolloutAction action;
};
const ActionName kActions[] = {
    {"start", RolloutAction::Start},       {"set", RolloutAction::Set},
    {"halt", RolloutAction::Halt},         {"resume", RolloutAction::Resume},
    {"complete", RolloutAction::Complete}, {"advance", RolloutAction::Advance},
    {"status", RolloutAction::Status},
};

const char* const kOptionNames[] = {
    "--release",       "--percent", "--steps",      "--step-hours",     "--canary",
    "--trusted-proxy", "--reason",  "--nginx-conf", "--reload-command", "--json"};

bool Known(const std::string& name) {
  for (const char* known : kOptionNames) {
    if (name == known) return true;
  }
  return false;
}

bool Changes(RolloutAction action) { return action != RolloutAction::Status; }

// Whether the action takes the option (beyond those every change takes).
bool Takes(RolloutAction action, const std::string& name) {
  if (name == "--json") return action == RolloutAction::Status;
  if (name == "--reason" || name == "--nginx-conf" || name == "--reload-command") {
    return Changes(action);
  }
  if (name == "--percent") return action == RolloutAction::Start || action == RolloutAction::Set;
  if (name == "--access-log" || name == "--max-repeat-percent" || name == "--min-clients") {
    return action == RolloutAction::Advance;
  }
  return action == RolloutAction::Start &&
         (name == "--release" || name == "--steps" || name == "--step-hours" ||
          name == "--canary" || name == "--trusted-proxy");
}

bool ParseSteps(const std::string& text, std::vector<double>& steps) {
  size_t at = 0;
  while (at <= text.size()) {
    size_t comma = text.find(',', at);
    if (comma == std::string::npos) comma = text.size();
    double step = 0;
    if (!ParsePercent(text.substr(at, comma - at), step) || step <= 0 ||
        (!steps.empty() && step <= steps.back())) {
      return false;
    }
    steps.push_back(step);
    at = comma + 1;
  }
  return !steps.empty();
}

bool ParseHours(const std::string& text, double& hours) {
  char* end = nullptr;
  hours = std::strtod(text.c_str(), &end);
  return !text.empty() && *end == '\0' &&
         text.find_first_not_of("0123456789.") == std::string::npos && hours > 0 &&
         hours <= 24 * 365;
}

bool ParseCount(const std::string& text, uint64_t& count) {
  if (text.empty() || text.size() > 12 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  count = std::strtoull(text.c_str(), nullptr, 10);
  return count > 0;
}

bool TakeValue(const std::string& name, const std::string& value, RolloutOptions& options,
               std::string& error) {
  auto once = [&](std::string& field) {
    if (!field.empty()) error = name + " given twice";
    field = value;
    return error.empty();
  };
  if (name == "--release") return once(options.release);
  if (name == "--reason") return once(options.reason);
  if (name == "--nginx-conf") return once(options.nginxConf);
  if (name == "--canary") options.canaries.push_back(value);
  if (name == "--trusted-proxy") options.trustedProxies.push_back(value);
  if (name == "--reload-command") options.reloadCommand = value;
  if (name == "--percent") {
    if (options.hasPercent || !ParsePercent(value, options.percent)) {
      error = "--percent takes one share from 0 to 100, with two decimals at most";
      return false;
    }
    options.hasPercent = true;
  }
  if (name == "--steps" && (!options.steps.empty() || !ParseSteps(value, options.steps))) {
    error = "--steps takes rising shares above 0, separated by commas (1,5,25,100)";
    return false;
  }
  if (name == "--access-log") options.gate.accessLogs.push_back(value);
  if (name == "--max-repeat-percent" && !ParsePercent(value, options.gate.maxRepeatPercent)) {
    error = "--max-repeat-percent takes a share from 0 to 100";
    return false;
  }
  if (name == "--min-clients" && !ParseCount(value, options.gate.minClients)) {
    error = "--min-clients takes a whole number above 0";
    return false;
  }
  if (name == "--step-hours" && (options.stepHours > 0 || !ParseHours(value, options.stepHours))) {
    error = "--step-hours takes a number of hours above 0";
    return false;
  }
  return true;
}

bool CheckCombination(const RolloutOptions& options, std::string& error) {
  if (options.dir.empty()) {
    error = "DIR is required";
  } else if (options.action == RolloutAction::Set && !options.hasPercent) {
    error = "set needs --percent";
  } else if (options.action == RolloutAction::Start && options.release.empty()) {
    error = "start needs --release";
  } else if (options.action == RolloutAction::Start &&
             options.hasPercent == !options.steps.empty()) {
    error = "start needs either --percent or --steps";
  } else if (options.steps.empty() != (options.stepHours == 0)) {
    error = "--steps and --step-hours go together";
  } else if (options.action == RolloutAction::Advance && options.gate.accessLogs.empty()) {
    error = "advance needs --access-log: the health gate reads the origin's access logs";
  }
  return error.empty();
}

}  // namespace

const char* RolloutActionName(RolloutAction action) {
  for (const ActionName& known : kActions) {
    if (known.action == action) return known.name;
  }
  return "";
}

bool ParsePercent(const std::string& text, double& percent) {
  if (text.empty() || text.size() > 6 ||
      text.find_first_not_of("0123456789.") != std::string::npos) {
    return false;
  }
  size_t dot = text.find('.');
  if (dot != std::string::npos &&
      (dot == 0 || dot + 1 == text.size() || text.size() - dot - 1 > 2 ||
       text.find('.', dot + 1) != std::string::npos)) {
    return false;
  }
  double value = std::strtod(text.c_str(), nullptr);
  if (value > 100) return false;
  percent = value;
  return true;
}

OptionsResult ParseRolloutOptions(int argc, char* argv[], RolloutOptions& options,
                                  std::string& error) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      return OptionsResult::Help;
    }
  }
  const ActionName* action = nullptr;
  for (const ActionName& candidate : kActions) {
    if (argc >= 2 && std::strcmp(argv[1], candidate.name) == 0) action = &candidate;
  }
  if (action == nullptr) {
    error = argc < 2 ? "an action is required" : std::string("unknown action ") + argv[1];
    return OptionsResult::Invalid;
  }
  options.action = action->action;
  for (int i = 2; i < argc; ++i) {
    std::string name = argv[i];
    if (name.compare(0, 2, "--") != 0) {
      if (!options.dir.empty()) error = "unexpected argument " + name;
      options.dir = name;
    } else if (!Takes(options.action, name)) {
      error = Known(name) ? name + " does not go with " + action->name : "unknown option " + name;
    } else if (name == "--json") {
      options.json = true;
    } else if (i + 1 >= argc || argv[i + 1][0] == '\0') {
      error = name + " needs a value";
    } else {
      TakeValue(name, argv[++i], options, error);
      // Like health, --access-log takes every argument up to the next option.
      while (name == "--access-log" && i + 1 < argc && argv[i + 1][0] != '-') {
        options.gate.accessLogs.push_back(argv[++i]);
      }
    }
    if (!error.empty()) return OptionsResult::Invalid;
  }
  return CheckCombination(options, error) ? OptionsResult::Parsed : OptionsResult::Invalid;
}
