#include "terminal_password_prompt.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "file_descriptor_output.h"

namespace brisakett {
namespace {

// One line of standard input without its line end; nothing at the end of
// input, or once `stop` is set. The signal that sets it may be taken by
// any of the program's threads, so the read cannot count on being
// interrupted: it waits for the line in short turns.
std::optional<std::string> ReadLine(const std::atomic<bool>* stop) {
  if (stop) {
    pollfd input{STDIN_FILENO, POLLIN, 0};
    while (poll(&input, 1, 100) == 0 ||
           (input.revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) == 0) {
      if (stop->load()) return std::nullopt;
    }
  }
  char* line = nullptr;
  std::size_t capacity = 0;
  const ssize_t length = getline(&line, &capacity, stdin);
  std::optional<std::string> read;
  if (length > 0) {
    read.emplace(line, static_cast<std::size_t>(length));
    if (read->back() == '\n') read->pop_back();
  }
  std::free(line);
  return read;
}

}  // namespace

bool TerminalPasswordPrompt::Available() { return isatty(STDIN_FILENO) == 1; }

std::optional<std::string> TerminalPasswordPrompt::Ask(const std::string& server,
                                                       std::string& user) {
  const std::lock_guard<std::mutex> oneAtATime(asking_);
  FileDescriptorOutput terminal(STDERR_FILENO);
  terminal.Write("Password for " + user + " on " + server + "? ");
  termios saved{};
  const bool quiet = tcgetattr(STDIN_FILENO, &saved) == 0;
  if (quiet) {
    termios silent = saved;
    silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
  }
  const std::optional<std::string> password = ReadLine(stop_);
  if (quiet) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  terminal.Write("\n");
  // An empty line or the end of input declines, as with lp.
  if (!password || password->empty()) return std::nullopt;
  return password;
}

}  // namespace brisakett
