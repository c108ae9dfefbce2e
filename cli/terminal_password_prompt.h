#pragma once

#include <mutex>

#include "password_prompt.h"

namespace brisakett {

// Asks on the terminal, as `lp` does: the prompt on standard error, the
// password read from standard input with echo off. Only for a standard
// input that is a terminal; a script gets no prompt at all. Printers woken
// at the same time ask one after the other.
class TerminalPasswordPrompt final : public PasswordPrompt {
public:
  std::optional<std::string> Ask(const std::string& server, std::string& user) override;

  // Whether standard input is a terminal that can be asked.
  static bool Available();

private:
  std::mutex asking_;
};

}  // namespace brisakett
