#include "plan/plan_plot.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

extern char** environ;

namespace {

const char kPython[] = "/usr/bin/python3";
const char kScriptName[] = "plan_plot.py";

bool IsFile(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

std::string ProgramFolder() {
  std::vector<char> path(4096);
  ssize_t length = readlink("/proc/self/exe", path.data(), path.size() - 1);
  if (length <= 0) return std::string();
  std::string program(path.data(), static_cast<std::size_t>(length));
  std::size_t slash = program.rfind('/');
  return slash == std::string::npos ? std::string() : program.substr(0, slash);
}

std::string Title(const PlanSettings& settings) {
  char title[256];
  std::snprintf(title, sizeof(title),
                "%u clients, check frequency %d, packages %.6g / %.6g MiB, uptime %s, seed %llu",
                settings.clients, settings.checkFrequency, settings.packageMiB[kActiveX],
                settings.packageMiB[kPlugin],
                settings.uptime == Uptime::kAlways ? "always" : "office",
                static_cast<unsigned long long>(settings.seed));
  return title;
}

// Runs the program with the arguments and waits; true when it exited with 0.
bool RunAndWait(std::vector<std::string> arguments, std::string& error) {
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(&argument[0]);
  argv.push_back(nullptr);
  pid_t child = 0;
  int failed = posix_spawn(&child, argv[0], nullptr, nullptr, argv.data(), environ);
  if (failed != 0) {
    error = std::string(argv[0]) + ": " + std::strerror(failed);
    return false;
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) {
      error = std::string("waiting for the plot script: ") + std::strerror(errno);
      return false;
    }
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    error = "the plot script failed (its messages are above)";
    return false;
  }
  return true;
}

}  // namespace

std::string PlanPlotScript() {
  std::string beside = ProgramFolder() + "/" + kScriptName;
  return IsFile(beside) ? beside : std::string(PLUMIX_PLAN_PLOT_SCRIPT);
}

bool DrawPlanPlot(const std::string& csvPath, const std::string& pngPath,
                  const PlanSettings& settings, std::string& error) {
  std::string partial = pngPath + ".partial";
  bool drawn = RunAndWait({kPython, PlanPlotScript(), csvPath, partial,
                           std::to_string(settings.releaseDay), Title(settings)},
                          error);
  if (drawn && std::rename(partial.c_str(), pngPath.c_str()) != 0) {
    error = pngPath + ": " + std::strerror(errno);
    drawn = false;
  }
  if (!drawn) std::remove(partial.c_str());
  return drawn;
}
