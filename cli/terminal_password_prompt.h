#pragma once

#include <atomic>
#include <mutex>

#include "password_prompt.h"

namespace brisakett {

// Asks on the terminal, as `lp` does: the prompt on standard error, the
// password read from standard input with echo off. Only for a standard
// input that is a terminal; a script gets no prompt at all. Printers woken
// at the same time ask one after the other.
class TerminalPasswordPrompt final : public PasswordPrompt {
public:
  // Once `stop` is set (Ctrl-C, SIGTERM), a question still waiting for its
  // line is declined and the terminal put back as it was.
  explicit TerminalPasswordPrompt(const std::atomic<bool>* stop = nullptr) : stop_(stop) {}

  std::optional<std::string> Ask(const std::string& server, std::string& user) override;

  // Whether standard input is a terminal that can be asked.
  static bool Available();

private:
  const std::atomic<bool>* stop_;
  std::mutex asking_;
};

}  // namespace brisakett
