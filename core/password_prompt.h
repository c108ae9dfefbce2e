#pragma once

#include <optional>
#include <string>

namespace brisakett {

// Asks the person at the program for a password the print server wants.
// The window asks in a dialog of its own, brisakett-send on the terminal
// when there is one; nothing is remembered.
class PasswordPrompt {
public:
  virtual ~PasswordPrompt() = default;

  // The password of `user` at `server`; the person may change `user`.
  // Nothing when they decline or cannot be asked.
  virtual std::optional<std::string> Ask(const std::string& server, std::string& user) = 0;
  // The server refused the last password given for it.
  virtual void Refused(const std::string& server) { (void)server; }
};

// Which print server to talk to, who it is told the user is, and who to
// ask for a password. An empty server is the one the system names (CUPS:
// CUPS_SERVER or client.conf), otherwise "HOST", "HOST:PORT", "[V6]:PORT"
// or a domain socket's path, as `lp -h` takes it; an empty user is the
// login name; without a prompt a server that wants a password is refused
// at once, never asked about on the terminal.
struct SpoolerLogin {
  std::string user;
  PasswordPrompt* prompt = nullptr;
  std::string server;
};

}  // namespace brisakett
