#include "child_process.h"

#include "temp_folder.h"

#include "posix/spawn_attributes.h"

#include <fcntl.h>
#include <stdlib.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sstream>

extern char** environ;

namespace brisakett::testing {
namespace {

std::vector<char*> ArgumentPointers(const std::vector<std::string>& argv) {
  std::vector<char*> pointers;
  for (const std::string& argument : argv) pointers.push_back(const_cast<char*>(argument.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

class FileActions {
public:
  FileActions() { posix_spawn_file_actions_init(&actions_); }
  ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
  posix_spawn_file_actions_t* get() { return &actions_; }

private:
  posix_spawn_file_actions_t actions_;
};

pid_t Spawn(const std::vector<std::string>& argv, FileActions& actions,
            bool newSession = false) {
  if (argv.empty() || argv[0].empty()) return -1;
  pid_t pid = -1;
  std::vector<char*> pointers = ArgumentPointers(argv);
  const SpawnAttributes attributes(newSession);
  if (posix_spawn(&pid, argv[0].c_str(), actions.get(), attributes.get(), pointers.data(),
                  environ) != 0) {
    return -1;
  }
  return pid;
}

int WaitForExit(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Waits for `pid` until `deadline`, then kills it. The exit status, or -1
// when it was killed or timed out.
int WaitForExitUntil(pid_t pid, std::chrono::steady_clock::time_point deadline) {
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(pid, SIGKILL);
      WaitForExit(pid);
      return -1;
    }
    usleep(10'000);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

std::string FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::istringstream folders(std::string(path ? path : "") + ":/usr/local/sbin:/usr/sbin:/sbin");
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    if (folder.empty()) continue;
    const std::string candidate = folder + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0 && !std::filesystem::is_directory(candidate)) {
      return candidate;
    }
  }
  return {};
}

ProgramRun RunProgram(const std::vector<std::string>& argv) {
  ProgramRun run;
  int pipe[2];
  if (pipe2(pipe, O_CLOEXEC) != 0) return run;

  FileActions actions;
  posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(actions.get(), pipe[1], 1);
  posix_spawn_file_actions_adddup2(actions.get(), pipe[1], 2);
  const pid_t pid = Spawn(argv, actions);
  close(pipe[1]);
  if (pid < 0) {
    close(pipe[0]);
    run.output = "cannot start " + (argv.empty() ? std::string("nothing") : argv[0]);
    return run;
  }

  char buffer[4096];
  for (;;) {
    const ssize_t got = read(pipe[0], buffer, sizeof buffer);
    if (got > 0) {
      run.output.append(buffer, static_cast<std::size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      break;
    }
  }
  close(pipe[0]);
  run.exitStatus = WaitForExit(pid);
  return run;
}

SeparateProgramRun RunProgramApart(const std::vector<std::string>& argv, int killAfterSeconds,
                                   const std::function<void(pid_t)>& meanwhile) {
  // Files, not pipes: a program that fills one pipe while we read the
  // other cannot stall.
  TempFolder folder;
  const std::string out = (folder.path() / "out").string();
  const std::string err = (folder.path() / "err").string();
  FileActions actions;
  posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(actions.get(), 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(actions.get(), 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  SeparateProgramRun run;
  const auto started = std::chrono::steady_clock::now();
  const pid_t pid = Spawn(argv, actions);
  if (pid < 0) return run;
  if (meanwhile) meanwhile(pid);
  run.exitStatus = killAfterSeconds > 0
                       ? WaitForExitUntil(pid, started + std::chrono::seconds(killAfterSeconds))
                       : WaitForExit(pid);
  run.out = ReadFile(out);
  run.err = ReadFile(err);
  return run;
}

namespace {

// A fresh pseudo-terminal's master side; -1 when none could be had.
int OpenPseudoTerminal() {
  const int terminal = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (terminal >= 0 && (grantpt(terminal) != 0 || unlockpt(terminal) != 0)) {
    close(terminal);
    return -1;
  }
  return terminal;
}

// Spawns argv[0] in a session of its own with `actions`, then reads what it
// writes to the terminal, types `answers` in turn at its password prompts,
// and kills it after `seconds`; closes the terminal.
TerminalProgramRun Converse(const std::vector<std::string>& argv, FileActions& actions,
                            int terminal, const std::vector<TypedAnswer>& answers, int seconds) {
  TerminalProgramRun run;
  const pid_t pid = Spawn(argv, actions, /*newSession=*/true);
  if (pid < 0) {
    close(terminal);
    return run;
  }

  fcntl(terminal, F_SETFL, O_NONBLOCK);
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  std::size_t answered = 0;
  std::chrono::steady_clock::time_point prompted{};
  int status = 0;
  for (;;) {
    char buffer[512];
    const ssize_t got = read(terminal, buffer, sizeof buffer);
    if (got > 0) run.terminal.append(buffer, static_cast<std::size_t>(got));
    std::size_t prompts = 0;
    for (std::size_t at = run.terminal.find("Password"); at != std::string::npos;
         at = run.terminal.find("Password", at + 1)) {
      ++prompts;
    }
    const auto now = std::chrono::steady_clock::now();
    if (answered < answers.size() && prompts > answered) {
      if (prompted == std::chrono::steady_clock::time_point{}) prompted = now;
      // The master reports the terminal's modes as the program set them.
      termios modes{};
      if (now - prompted >= answers[answered].after && tcgetattr(terminal, &modes) == 0 &&
          !(modes.c_lflag & ECHO)) {
        const std::string line = answers[answered].typed + "\n";
        if (answers[answered].interrupt ? kill(pid, SIGINT) == 0
                                        : write(terminal, line.data(), line.size()) ==
                                              static_cast<ssize_t>(line.size())) {
          ++answered;
          prompted = {};
        }
      }
    }
    if (waitpid(pid, &status, WNOHANG) == pid) break;
    if (now >= give_up) {
      run.timedOut = true;
      kill(pid, SIGKILL);
      WaitForExit(pid);
      break;
    }
    usleep(20'000);
  }
  // What it wrote after it ended is still in the terminal.
  for (char buffer[512];;) {
    const ssize_t got = read(terminal, buffer, sizeof buffer);
    if (got <= 0) break;
    run.terminal.append(buffer, static_cast<std::size_t>(got));
  }
  termios modes{};
  run.echoAtEnd = tcgetattr(terminal, &modes) == 0 && (modes.c_lflag & ECHO);
  close(terminal);
  if (!run.timedOut && WIFEXITED(status)) run.exitStatus = WEXITSTATUS(status);
  return run;
}

}  // namespace

TerminalProgramRun RunProgramWithTerminal(const std::vector<std::string>& argv, int seconds) {
  const int terminal = OpenPseudoTerminal();
  if (terminal < 0) return {};
  TempFolder folder;
  const std::string output = (folder.path() / "output").string();
  FileActions actions;
  posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(actions.get(), 1, output.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(actions.get(), 1, 2);
  // Opened by the new session's leader, the terminal becomes its
  // controlling one: /dev/tty then leads there.
  posix_spawn_file_actions_addopen(actions.get(), 3, ptsname(terminal), O_RDWR, 0);
  TerminalProgramRun run = Converse(argv, actions, terminal, {}, seconds);
  run.output = ReadFile(output);
  return run;
}

TerminalProgramRun RunProgramAtTerminal(const std::vector<std::string>& argv,
                                        const std::vector<TypedAnswer>& answers, int seconds) {
  const int terminal = OpenPseudoTerminal();
  if (terminal < 0) return {};
  FileActions actions;
  posix_spawn_file_actions_addopen(actions.get(), 0, ptsname(terminal), O_RDWR, 0);
  posix_spawn_file_actions_adddup2(actions.get(), 0, 1);
  posix_spawn_file_actions_adddup2(actions.get(), 0, 2);
  TerminalProgramRun run = Converse(argv, actions, terminal, answers, seconds);
  run.output = run.terminal;
  return run;
}

pid_t StartProgram(const std::vector<std::string>& argv, const std::string& logFile) {
  FileActions actions;
  if (!logFile.empty()) {
    posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(actions.get(), 1, logFile.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(actions.get(), 1, 2);
  }
  return Spawn(argv, actions);
}

sigset_t BlockStopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  for (const int signal : {SIGINT, SIGTERM, SIGCHLD}) sigaddset(&signals, signal);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  return signals;
}

int WaitPassingStops(pid_t program, const sigset_t& stopSignals) {
  for (;;) {
    int received = 0;
    sigwait(&stopSignals, &received);
    if (received != SIGCHLD) {
      kill(program, SIGTERM);
      continue;
    }
    int status = 0;
    if (waitpid(program, &status, WNOHANG) == program) {
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
  }
}

}  // namespace brisakett::testing
