#include "send_command.h"

#include <optional>

#include "current_printer.h"
#include "messages.h"
#include "warmup_job.h"

namespace brisakett {
namespace {

constexpr const char* kUsage =
    "Usage: brisakett-send [PRINTER]\n"
    "       brisakett-send --list | --help | --version\n"
    "\n"
    "Wakes a PCL printer: sends it the warm-up command as a one-page job through\n"
    "the print spooler, as the Brisakett window's \"OK\" button does. Without\n"
    "PRINTER the default printer is woken.\n"
    "\n"
    "  --list     list the installed printers, the default one marked with '*'\n"
    "  --help     show this help\n"
    "  --version  show the version\n"
    "  --         end of options; a PRINTER that starts with '-' follows\n"
    "\n"
    "Exit status: 0 sent, 1 the spooler refused the job, 2 wrong usage,\n"
    "3 no printer of that name.\n";

int UsageError(std::ostream& err, const std::string& problem) {
  err << "brisakett-send: " << problem << "\n"
      << "Try 'brisakett-send --help'.\n";
  return kSendUsageError;
}

int ListPrinters(const PrinterCatalog& printers, std::ostream& out) {
  const std::optional<std::string> defaultName = printers.DefaultDeviceName();
  for (const std::string& name : printers.DeviceNames()) {
    out << (name == defaultName ? "* " : "  ") << name << "\n";
  }
  return kSendSucceeded;
}

int WakePrinter(const std::optional<std::string>& named, const PrinterCatalog& printers,
                Spooler& spooler, std::ostream& out, std::ostream& err) {
  CurrentPrinter current = CurrentPrinter::FromDefault(printers);
  if (!named && !current.HasPrinter()) {
    return UsageError(err, "there is no default printer; name the printer to wake");
  }
  const WarmUpOutcome outcome =
      RunWarmUp(printers, current, spooler, named.value_or(current.DeviceName()));
  switch (outcome.status) {
    case WarmUpOutcome::Status::Sent:
      out << outcome.message << "\n";
      return kSendSucceeded;
    case WarmUpOutcome::Status::NotRecognized:
      err << outcome.message << "\n";
      return kSendNotRecognized;
    case WarmUpOutcome::Status::Failed:
      break;
  }
  err << outcome.message << "\n";
  return kSendFailed;
}

}  // namespace

int RunSendCommand(const std::vector<std::string>& arguments, const PrinterCatalog& printers,
                   Spooler& spooler, std::ostream& out, std::ostream& err) {
  std::optional<std::string> printer;
  bool optionsEnded = false;
  for (const std::string& argument : arguments) {
    if (!optionsEnded && argument == "--") {
      optionsEnded = true;
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
      if (argument == "--list") return ListPrinters(printers, out);
      return UsageError(err, "unknown option '" + argument + "'");
    } else if (printer) {
      return UsageError(err, "one printer at a time");
    } else {
      printer = argument;
    }
  }
  return WakePrinter(printer, printers, spooler, out, err);
}

}  // namespace brisakett
