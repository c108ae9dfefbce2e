#include "send_options.h"

#include <getopt.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string_view>
#include <tuple>
#include <utility>

namespace brisakett {
namespace {

// getopt_long's codes for the long options lie above every character, so
// that an unknown short option (getopt's optopt) is never taken for one.
enum LongOption : int {
  kHelp = 0x100,
  kVersion,
  kList,
  kAll,
  kJobs,
  kWait,
  kTimeout,
  kCancelOnTimeout,
  kJson,
  kSnmpCommunity,
  kMetrics,
};

constexpr option kLongOptions[] = {
    {"help", no_argument, nullptr, kHelp},
    {"version", no_argument, nullptr, kVersion},
    {"list", no_argument, nullptr, kList},
    {"all", no_argument, nullptr, kAll},
    {"jobs", required_argument, nullptr, kJobs},
    // --wait alone follows for the default time; --timeout SECONDS (or
    // --wait=SECONDS, as scripts already say) for another.
    {"wait", optional_argument, nullptr, kWait},
    {"timeout", required_argument, nullptr, kTimeout},
    {"cancel-on-timeout", no_argument, nullptr, kCancelOnTimeout},
    {"json", no_argument, nullptr, kJson},
    {"snmp-community", required_argument, nullptr, kSnmpCommunity},
    {"metrics", required_argument, nullptr, kMetrics},
    {nullptr, 0, nullptr, 0},
};

// Whether `word` ("--jobs" or "--jobs=4") names a long option in full.
// getopt_long also takes any beginning of a name that fits one option
// alone; here only whole names are options, so that what a script says
// keeps its meaning when another option comes.
bool NamesLongOption(std::string_view word) {
  if (!word.starts_with("--")) return false;
  const std::string_view name = word.substr(2, word.find('=') - 2);
  for (const option& known : kLongOptions) {
    if (known.name != nullptr && name == known.name) return true;
  }
  return false;
}

// What is wrong with the value given, or not given, to -U or a long
// option, by its code. The C libraries differ on whether they report
// that as ':' or '?'.
std::string ValueProblem(int code) {
  if (code == 'U') return "-U needs a user name";
  if (code == 'h') return "-h needs a print server";
  for (const option& known : kLongOptions) {
    if (known.name != nullptr && known.val == code) {
      return std::string("--") + known.name +
             (known.has_arg == no_argument ? " takes no value" : " needs a value");
    }
  }
  return "wrong option";
}

// A whole decimal number from `low` to `high`, or nothing.
std::optional<long> NumberBetween(const char* text, long low, long high) {
  const char* end = text + std::strlen(text);
  long value = 0;
  const auto [stop, error] = std::from_chars(text, end, value);
  if (error != std::errc() || stop != end || value < low || value > high) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

std::optional<SendOptions> ParseSendOptions(const std::vector<std::string>& arguments,
                                            std::string& problem) {
  // getopt_long reads a C argument vector of its own.
  std::vector<std::string> words = arguments;
  std::vector<char*> argv{const_cast<char*>("brisakett-send")};
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(argv.size()) - 1;

  SendOptions options;
  bool help = false, version = false, list = false;
  std::size_t besidesUser = 0;
  std::vector<int> valuesGiven;  // the codes of -U, --jobs and the time, once seen
  bool bareWait = false;         // the word before was --wait without a value
  // The C library keeps its place in globals: start afresh, and keep its
  // own messages off standard error (the problem is reported below).
  optind = 0;
  opterr = 0;
  for (;;) {
    // The word read next: in "-" mode nothing is reordered, and -U takes
    // the rest of its word or the next one.
    const int next = std::max(optind, 1);
    const std::string_view word = next < argc ? argv[next] : "";
    // "-": each PRINTER comes back in its place as code 1, whatever
    // POSIXLY_CORRECT says; ":": a missing value is ':', not '?'.
    const int code = getopt_long(argc, argv.data(), "-:U:h:", kLongOptions, nullptr);
    if (code == -1) break;
    if (word.starts_with("--") && !NamesLongOption(word)) {
      problem = "unknown option '" + std::string(word) + "'";
      return std::nullopt;
    }
    if (code == ':' || code == '?') {
      problem = optopt == 'U' || optopt == 'h' || optopt >= kHelp
                    ? ValueProblem(optopt)
                    : "unknown option '" + std::string(word) + "'";
      return std::nullopt;
    }
    // "--wait 30 Laser" would wake a printer named 30: the time has an
    // option of its own. A printer named with digits alone follows "--".
    const bool afterBareWait = std::exchange(bareWait, code == kWait && optarg == nullptr);
    if (afterBareWait && code == 1 && *optarg != '\0' &&
        std::all_of(optarg, optarg + std::strlen(optarg),
                    [](char c) { return c >= '0' && c <= '9'; })) {
      problem = std::string("--wait takes no time of its own; for ") + optarg +
                " seconds say --timeout " + optarg;
      return std::nullopt;
    }
    const bool givesTime = code == kTimeout || (code == kWait && optarg != nullptr);
    if (code == 'U' || code == kJobs || code == kSnmpCommunity || code == kMetrics || givesTime) {
      const int value = givesTime ? kTimeout : code;
      // Which of two values would be meant?
      if (std::find(valuesGiven.begin(), valuesGiven.end(), value) != valuesGiven.end()) {
        problem = givesTime ? std::string("the time to wait is given twice")
                            : std::string(code == 'U' ? "-U" : word.substr(0, word.find('='))) +
                                  " is given twice";
        return std::nullopt;
      }
      valuesGiven.push_back(value);
    }
    if (code != 'U' && code != 'h') ++besidesUser;
    switch (code) {
      case 1:
        options.printers.emplace_back(optarg);
        break;
      case 'U':
        options.user = optarg;
        break;
      case 'h':
        if (*optarg == '\0') {
          problem = ValueProblem('h');
          return std::nullopt;
        }
        // The same server twice is one server.
        if (std::find(options.servers.begin(), options.servers.end(), optarg) == options.servers.end()) {
          options.servers.emplace_back(optarg);
        }
        break;
      case kHelp:
        help = true;
        break;
      case kVersion:
        version = true;
        break;
      case kList:
        list = true;
        break;
      case kAll:
        options.all = true;
        break;
      case kJobs:
        if (const std::optional<long> jobs = NumberBetween(optarg, 1, 64)) {
          options.jobs = static_cast<std::size_t>(*jobs);
          break;
        }
        problem = "--jobs takes a number from 1 to 64";
        return std::nullopt;
      case kWait:
      case kTimeout:
        if (optarg == nullptr) {
          if (!options.waitSeconds) options.waitSeconds = kDefaultWaitSeconds;
        } else if (const std::optional<long> seconds = NumberBetween(optarg, 1, 24 * 60 * 60)) {
          // No time at all would submit nothing and call every printer
          // still waiting; a wake-up without following needs no --wait.
          options.waitSeconds = static_cast<int>(*seconds);
        } else {
          problem = std::string(code == kWait ? "--wait" : "--timeout") +
                    " takes seconds from 1 to 86400";
          return std::nullopt;
        }
        break;
      case kCancelOnTimeout:
        options.cancelOnTimeout = true;
        break;
      case kJson:
        options.json = true;
        break;
      case kSnmpCommunity:
        if (*optarg == '\0') {
          problem = "--snmp-community needs a name";
          return std::nullopt;
        }
        options.snmpCommunity = optarg;
        break;
      case kMetrics:
        if (*optarg == '\0') {
          problem = "--metrics needs a file name";
          return std::nullopt;
        }
        options.metricsFile = optarg;
        break;
    }
  }
  // Those after "--".
  for (int at = optind; at < argc; ++at) {
    options.printers.emplace_back(argv[at]);
    ++besidesUser;
  }

  if (options.user && options.user->empty()) {
    problem = ValueProblem('U');
    return std::nullopt;
  }
  if (options.all && !options.printers.empty()) {
    problem = "--all wakes every printer; name none with it";
    return std::nullopt;
  }
  if (options.cancelOnTimeout && !options.waitSeconds.has_value()) {
    problem = "--cancel-on-timeout goes with --wait or --timeout";
    return std::nullopt;
  }
  // -U USER and -h SERVER may go with any of them; nothing else may.
  for (const auto& [given, name, action] :
       {std::tuple{help, "--help", SendOptions::Action::Help},
        std::tuple{version, "--version", SendOptions::Action::Version},
        std::tuple{list, "--list", SendOptions::Action::List}}) {
    if (!given) continue;
    if (besidesUser != 1 || (action != SendOptions::Action::List && !options.servers.empty())) {
      problem = std::string("'") + name + "' stands alone";
      return std::nullopt;
    }
    options.action = action;
  }
  return options;
}

}  // namespace brisakett
