#include "terminal_password_prompt.h"

#include <termios.h>
#include <unistd.h>

#include <iostream>

namespace brisakett {

bool TerminalPasswordPrompt::Available() { return isatty(STDIN_FILENO) == 1; }

std::optional<std::string> TerminalPasswordPrompt::Ask(const std::string& server,
                                                       std::string& user) {
  const std::lock_guard<std::mutex> oneAtATime(asking_);
  std::cerr << "Password for " << user << " on " << server << "? " << std::flush;
  termios saved{};
  const bool quiet = tcgetattr(STDIN_FILENO, &saved) == 0;
  if (quiet) {
    termios silent = saved;
    silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
  }
  std::string password;
  const bool read = static_cast<bool>(std::getline(std::cin, password));
  if (quiet) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  std::cerr << "\n";
  // An empty line or the end of input declines, as with lp.
  if (!read || password.empty()) return std::nullopt;
  return password;
}

}  // namespace brisakett
