#include "timed_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>

#include <cerrno>

extern char** environ;

namespace brisakett::bench {
namespace {

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& text : strings) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// This process's environment with `added` in place of any entry of the same name.
std::vector<std::string> MergedEnvironment(const std::vector<std::string>& added) {
  std::vector<std::string> merged;
  for (char** entry = environ; *entry; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('=') + 1);
    bool replaced = false;
    for (const std::string& extra : added) replaced |= extra.rfind(name, 0) == 0;
    if (!replaced) merged.push_back(text);
  }
  merged.insert(merged.end(), added.begin(), added.end());
  return merged;
}

// Starts argv[0] with its output discarded; -1 when it could not start.
pid_t Spawn(const std::vector<std::string>& argv, std::vector<char*>& variablePointers) {
  std::vector<std::string> arguments = argv;
  std::vector<char*> argumentPointers = Pointers(arguments);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = -1;
  const int failed = posix_spawn(&pid, argumentPointers[0], &actions, nullptr,
                                 argumentPointers.data(), variablePointers.data());
  posix_spawn_file_actions_destroy(&actions);
  return failed ? -1 : pid;
}

int ExitStatusOf(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

std::int64_t MonotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return std::int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

TimedRun RunTimed(const std::vector<std::string>& argv,
                  const std::vector<std::string>& environment) {
  return RunTimedTogether({argv}, environment);
}

TimedRun RunTimedTogether(const std::vector<std::vector<std::string>>& commands,
                          const std::vector<std::string>& environment) {
  std::vector<std::string> variables = MergedEnvironment(environment);
  std::vector<char*> variablePointers = Pointers(variables);
  TimedRun run;
  run.startNs = MonotonicNs();
  std::vector<pid_t> started;
  for (const std::vector<std::string>& argv : commands) started.push_back(Spawn(argv, variablePointers));
  int worst = 0;
  for (const pid_t pid : started) {
    const int status = pid < 0 ? -1 : ExitStatusOf(pid);
    if (worst == 0) worst = status;
  }
  run.endNs = MonotonicNs();
  run.exitStatus = worst;
  return run;
}

}  // namespace brisakett::bench
