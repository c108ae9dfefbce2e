#include "send_command.h"

#include <optional>

#include "current_printer.h"
#include "messages.h"
#include "warmup_job.h"

namespace brisakett {
namespace {

constexpr const char* kUsage =
    "Usage: brisakett-send [-U USER] [PRINTER]\n"
    "       brisakett-send [-U USER] --list\n"
    "       brisakett-send --help | --version\n"
    "\n"
    "Wakes a PCL printer: sends it the warm-up command as a one-page job through\n"
    "the print spooler, as the Brisakett window's \"OK\" button does. Without\n"
    "PRINTER the default printer is woken.\n"
    "\n"
    "  -U USER    the user name to give the print server (by default the login\n"
    "             name); a server that wants a password asks for it on the\n"
    "             terminal, and without a terminal the job is refused at once\n"
    "  --list     list the installed printers, the default one marked with '*'\n"
    "  --help     show this help\n"
    "  --version  show the version\n"
    "  --         end of options; a PRINTER that starts with '-' follows\n"
    "\n"
    "Exit status:\n"
    "  0  sent: the print server confirmed it has the whole job\n"
    "  1  the print server refused the job (its reason is shown)\n"
    "  2  wrong usage\n"
    "  3  no printer of that name, or no default printer\n"
    "  4  the print server cannot be reached or did not answer in time\n";

int UsageError(std::ostream& err, const std::string& problem) {
  err << "brisakett-send: " << problem << "\n"
      << "Try 'brisakett-send --help'.\n";
  return kSendUsageError;
}

int Unreachable(std::ostream& err, const std::string& reason) {
  err << messages::kCommandFailed << "\n" << reason << "\n";
  return kSendUnreachable;
}

int ListPrinters(const PrinterCatalog& printers, std::ostream& out, std::ostream& err) {
  Deadline deadline(kServerPatience);
  const SpoolerAnswer<std::vector<std::string>> listed = printers.DeviceNames(deadline);
  if (!listed.Answered()) return Unreachable(err, listed.failure);
  const SpoolerAnswer<std::optional<std::string>> defaultName =
      printers.DefaultDeviceName(deadline);
  if (!defaultName.Answered()) return Unreachable(err, defaultName.failure);
  for (const std::string& name : listed.value) {
    out << (name == defaultName.value ? "* " : "  ") << name << "\n";
  }
  return kSendSucceeded;
}

int WakePrinter(const std::optional<std::string>& named, const PrinterCatalog& printers,
                Spooler& spooler, std::ostream& out, std::ostream& err) {
  Deadline deadline(kServerPatience);
  std::optional<std::string> printer = named;
  if (!printer) {
    const SpoolerAnswer<std::optional<std::string>> defaultName =
        printers.DefaultDeviceName(deadline);
    if (!defaultName.Answered()) return Unreachable(err, defaultName.failure);
    if (!defaultName.value) {
      err << "There is no default printer; name the printer to wake.\n";
      return kSendNotRecognized;
    }
    printer = defaultName.value;
  }
  // The printer to wake is already the current one, so the press has no
  // earlier printer to ask about and put back.
  CurrentPrinter current(printer);
  const WarmUpOutcome outcome = RunWarmUp(printers, current, spooler, *printer, deadline);
  switch (outcome.status) {
    case WarmUpOutcome::Status::Sent:
      out << outcome.message << "\n";
      return kSendSucceeded;
    case WarmUpOutcome::Status::NotRecognized:
      if (named) {
        err << outcome.message << "\n";
      } else {
        err << "The default printer " << *printer << " is not installed.\n";
      }
      return kSendNotRecognized;
    case WarmUpOutcome::Status::Unreachable:
      err << outcome.message << "\n";
      return kSendUnreachable;
    case WarmUpOutcome::Status::Failed:
      break;
  }
  err << outcome.message << "\n";
  return kSendFailed;
}

}  // namespace

int RunSendCommand(const std::vector<std::string>& arguments, SpoolerLogin& login,
                   const PrinterCatalog& printers, Spooler& spooler, std::ostream& out,
                   std::ostream& err) {
  std::optional<std::string> printer;
  bool optionsEnded = false;
  bool list = false;
  for (std::size_t at = 0; at < arguments.size(); ++at) {
    const std::string& argument = arguments[at];
    if (!optionsEnded && argument == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && argument == "-U") {
      if (++at == arguments.size() || arguments[at].empty()) {
        return UsageError(err, "-U needs a user name");
      }
      login.user = arguments[at];
    } else if (!optionsEnded && argument == "--list") {
      list = true;
    } else if (!optionsEnded && argument.size() > 1 && argument[0] == '-') {
      if (arguments.size() != 1) return UsageError(err, "'" + argument + "' stands alone");
      if (argument == "--help") {
        out << kUsage;
        return kSendSucceeded;
      }
      if (argument == "--version") {
        out << messages::kAppTitle << " " << messages::kVersion << "\n";
        return kSendSucceeded;
      }
      return UsageError(err, "unknown option '" + argument + "'");
    } else if (printer) {
      return UsageError(err, "one printer at a time");
    } else {
      printer = argument;
    }
  }
  if (list) {
    if (printer) return UsageError(err, "--list takes no printer");
    return ListPrinters(printers, out, err);
  }
  return WakePrinter(printer, printers, spooler, out, err);
}

}  // namespace brisakett
