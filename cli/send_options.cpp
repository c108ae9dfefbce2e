#include "send_options.h"

#include <CLI/CLI.hpp>

#include <algorithm>

namespace brisakett {

std::optional<SendOptions> ParseSendOptions(const std::vector<std::string>& arguments,
                                            std::string& problem) {
  SendOptions options;
  bool help = false, version = false, list = false;
  int waitSeconds = 0;

  // The help text is brisakett-send's own (kUsage), so CLI11's is left out.
  CLI::App app("", "brisakett-send");
  app.set_help_flag();
  app.add_flag("--help", help);
  app.add_flag("--version", version);
  app.add_flag("--list", list);
  CLI::Option* all = app.add_flag("--all", options.all);
  app.add_option("--jobs", options.jobs)->check(CLI::Range(1, 64));
  // --wait alone follows for the default time; --wait=SECONDS for another.
  CLI::Option* wait = app.add_flag("--wait{" + std::to_string(kDefaultWaitSeconds) + "}",
                                   waitSeconds)
                          ->check(CLI::Range(0, 24 * 60 * 60));
  app.add_flag("--cancel-on-timeout", options.cancelOnTimeout)->needs(wait);
  app.add_flag("--json", options.json);
  app.add_option("-U", options.user);
  CLI::Option* printers = app.add_option("PRINTER", options.printers);
  all->excludes(printers);

  // CLI11 takes the arguments last first.
  std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::ParseError& error) {
    problem = error.what();
    return std::nullopt;
  }

  if (options.user && options.user->empty()) {
    problem = "-U needs a user name";
    return std::nullopt;
  }
  // -U USER (or -UUSER) may go with any of them; nothing else may.
  std::size_t besidesUser = 0;
  for (std::size_t at = 0; at < arguments.size(); ++at) {
    if (arguments[at] == "-U") {
      ++at;
    } else if (arguments[at].rfind("-U", 0) != 0) {
      ++besidesUser;
    }
  }
  for (const auto& [given, name, action] :
       {std::tuple{help, "--help", SendOptions::Action::Help},
        std::tuple{version, "--version", SendOptions::Action::Version},
        std::tuple{list, "--list", SendOptions::Action::List}}) {
    if (!given) continue;
    if (besidesUser != 1) {
      problem = std::string("'") + name + "' stands alone";
      return std::nullopt;
    }
    options.action = action;
  }
  if (wait->count() > 0) options.waitSeconds = waitSeconds;
  return options;
}

}  // namespace brisakett
