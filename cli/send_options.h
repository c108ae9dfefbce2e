#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace brisakett {

// brisakett-send's command line, read.
struct SendOptions {
  enum class Action { Wake, List, Help, Version };
  Action action = Action::Wake;
  std::vector<std::string> printers;  // as named, in order
  bool all = false;
  std::size_t jobs = 8;
  std::optional<int> waitSeconds;  // --wait or --timeout, with the time or the default
  bool cancelOnTimeout = false;
  bool json = false;
  std::optional<std::string> user;  // -U
  std::vector<std::string> servers;  // -h, each once, in order; none: the system's own
  std::string snmpCommunity = "public";  // for asking each printer its status (--wait)
  std::optional<std::string> metricsFile;  // --metrics: where the run's results go for Prometheus

  // True when the run names one printer (or none, the default) and asks for
  // nothing more: it answers in the window's words, as brisakett-send always did.
  bool SinglePrinter() const {
    return !all && printers.size() <= 1 && !waitSeconds && !json;
  }
};

inline constexpr int kDefaultWaitSeconds = 120;

// Reads the arguments (without the program's name). Nothing, with what is
// wrong in `problem`, when the command line is wrong.
std::optional<SendOptions> ParseSendOptions(const std::vector<std::string>& arguments,
                                            std::string& problem);

}  // namespace brisakett
