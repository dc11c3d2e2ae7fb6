#include "rollout/process_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "store/descriptor.h"

extern char** environ;

namespace {

constexpr size_t kOutputLimit = 16 << 20;

class SpawnActions {
 public:
  SpawnActions() { posix_spawn_file_actions_init(&actions_); }
  ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

// Reads the child's output until it closes it or the deadline passes.
bool Collect(int fd, std::chrono::steady_clock::time_point deadline, std::string& output) {
  char buffer[65536];
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd ready = {fd, POLLIN, 0};
    int polled = poll(&ready, 1, static_cast<int>(left.count()));
    if (polled < 0 && errno == EINTR) continue;
    if (polled <= 0) return false;
    ssize_t count = read(fd, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return true;
    if (output.size() < kOutputLimit) output.append(buffer, static_cast<size_t>(count));
  }
}

}  // namespace

bool RunProcess(const std::vector<std::string>& arguments, int timeoutSeconds, std::string& output,
                std::string& error) {
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
    error = std::string("could not be started: ") + std::strerror(errno);
    return false;
  }
  Descriptor reader(pipeEnds[0]);
  Descriptor writer(pipeEnds[1]);
  SpawnActions actions;
  posix_spawn_file_actions_adddup2(actions.get(), writer.get(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(actions.get(), writer.get(), STDERR_FILENO);
  posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  int spawned = posix_spawnp(&pid, argv[0], actions.get(), nullptr, argv.data(), environ);
  writer.Reset();
  if (spawned != 0) {
    error = std::string("could not be started: ") + std::strerror(spawned);
    return false;
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  bool finished = Collect(reader.get(), deadline, output);
  if (!finished) kill(pid, SIGKILL);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!finished) {
    error = "did not finish within " + std::to_string(timeoutSeconds) + " s";
  } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    error = WIFEXITED(status) ? "exited with status " + std::to_string(WEXITSTATUS(status))
                              : "ended by signal " + std::to_string(WTERMSIG(status));
  }
  return finished && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
