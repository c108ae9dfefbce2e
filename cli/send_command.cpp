#include "send_command.h"

#include <chrono>
#include <optional>

#include "current_printer.h"
#include "messages.h"
#include "send_options.h"
#include "wake_printers.h"
#include "wake_report.h"
#include "wake_targets.h"
#include "warmup_job.h"

namespace brisakett {
namespace {

constexpr const char* kUsage =
    "Usage: brisakett-send [-U USER] [PRINTER]...\n"
    "       brisakett-send [-U USER] --all [OPTION]...\n"
    "       brisakett-send [-U USER] --list\n"
    "       brisakett-send --help | --version\n"
    "\n"
    "Wakes PCL printers: sends each the warm-up command as a one-page job through\n"
    "the print spooler, as the Brisakett window's \"OK\" button does. Without\n"
    "PRINTER the default printer is woken.\n"
    "\n"
    "  --all               wake every listed printer (saved instances, which are\n"
    "                      the same queue again, are left out)\n"
    "  --jobs N            submit up to N jobs at the same time (1 to 64, default 8)\n"
    "  --wait[=SECONDS]    follow each accepted job for up to SECONDS (default 120)\n"
    "                      until the printer has it, and report what became of it\n"
    "  --cancel-on-timeout with --wait: cancel a job still waiting at the end;\n"
    "                      otherwise it stays queued and wakes the printer later\n"
    "  --json              one JSON object per printer instead of text lines\n"
    "  -U USER             the user name to give the print server (by default the\n"
    "                      login name); a server that wants a password asks for it\n"
    "                      on the terminal, and without one the job is refused\n"
    "  --list              list the installed printers, the default marked with '*'\n"
    "  --help              show this help\n"
    "  --version           show the version\n"
    "  --                  end of options; PRINTERs that start with '-' follow\n"
    "\n"
    "One PRINTER (or none) without --wait or --json answers as the window does:\n"
    "\"Kommando ausgeführt\", or the failure and the spooler's reason on standard\n"
    "error. Otherwise a line is written per printer as it finishes, its fields\n"
    "separated by tabs:\n"
    "  NAME  OUTCOME  JOB-ID  SECONDS  REASON\n"
    "('-' for no job id or reason), then a line \"summary: ...\". OUTCOME is one of\n"
    "  sent               the spooler accepted the job (not followed)\n"
    "  delivered          --wait: the job completed; the printer has it\n"
    "  still-waiting      --wait: time ran out before the printer had the job;\n"
    "                     REASON gives the spooler's cause: queue stopped, job\n"
    "                     held, printer not reachable, or sending to the printer\n"
    "                     and the printer's message while the spooler retries\n"
    "  failed-at-printer  --wait: the spooler aborted or cancelled the job\n"
    "  not-recognized     no listed printer has that name; it is skipped\n"
    "  refused            the spooler did not accept the whole job\n"
    "  unreachable        the print server cannot be reached or did not answer\n"
    "With --json each line is {\"name\", \"outcome\", \"job_id\", \"reason\",\n"
    "\"seconds\", \"cancelled\"} and there is no summary.\n"
    "\n"
    "Exit status:\n"
    "  0  sent: the print server confirmed it has the whole job (or, with --wait,\n"
    "     the printer has it)\n"
    "  1  the print server refused the job (its reason is shown)\n"
    "  2  wrong usage\n"
    "  3  no printer of that name, no default printer (--all: none listed)\n"
    "  4  the print server cannot be reached or did not answer in time\n"
    "  5  --wait: still waiting when time ran out\n"
    "  6  --wait: failed at the printer\n"
    "With several printers the status is the worst of their outcomes, from best\n"
    "to worst: 0, 5, 3, 6, 1, 4.\n";

int UsageError(TextOutput& err, const std::string& problem) {
  err.Write("brisakett-send: " + problem + "\nTry 'brisakett-send --help'.\n");
  return kSendUsageError;
}

int Unreachable(TextOutput& err, const std::string& reason) {
  err.Write(std::string(messages::kCommandFailed) + "\n" + reason + "\n");
  return kSendUnreachable;
}

int ListPrinters(const PrinterCatalog& printers, TextOutput& out, TextOutput& err) {
  Deadline deadline(kServerPatience);
  const SpoolerAnswer<std::vector<std::string>> listed = printers.DeviceNames(deadline);
  if (!listed.Answered()) return Unreachable(err, listed.failure);
  const SpoolerAnswer<std::optional<std::string>> defaultName =
      printers.DefaultDeviceName(deadline);
  if (!defaultName.Answered()) return Unreachable(err, defaultName.failure);
  std::string lines;
  for (const std::string& name : listed.value) {
    lines += (name == defaultName.value ? "* " : "  ") + name + "\n";
  }
  out.Write(lines);
  return kSendSucceeded;
}

// The default printer, for a run that names none; nothing, with the exit
// status in `status` and the reason on `err`, when there is none to wake.
std::optional<std::string> DefaultPrinter(const PrinterCatalog& printers, Deadline& deadline,
                                          TextOutput& err, int& status) {
  const SpoolerAnswer<std::optional<std::string>> defaultName =
      printers.DefaultDeviceName(deadline);
  if (!defaultName.Answered()) {
    status = Unreachable(err, defaultName.failure);
  } else if (!defaultName.value) {
    err.Write("There is no default printer; name the printer to wake.\n");
    status = kSendNotRecognized;
  }
  return defaultName.value;
}

int WakePrinter(const std::optional<std::string>& named, const PrinterCatalog& printers,
                Spooler& spooler, TextOutput& out, TextOutput& err) {
  Deadline deadline(kServerPatience);
  int status = kSendSucceeded;
  const std::optional<std::string> printer =
      named ? named : DefaultPrinter(printers, deadline, err, status);
  if (!printer) return status;
  // The printer to wake is already the current one, so the press has no
  // earlier printer to ask about and put back.
  CurrentPrinter current(printer);
  const WarmUpOutcome outcome = RunWarmUp(printers, current, spooler, *printer, deadline);
  switch (outcome.status) {
    case WarmUpOutcome::Status::Sent:
      out.Write(outcome.message + "\n");
      return kSendSucceeded;
    case WarmUpOutcome::Status::NotRecognized:
      if (named) {
        err.Write(outcome.message + "\n");
      } else {
        err.Write("The default printer " + *printer + " is not installed.\n");
      }
      return kSendNotRecognized;
    case WarmUpOutcome::Status::Unreachable:
      err.Write(outcome.message + "\n");
      return kSendUnreachable;
    case WarmUpOutcome::Status::Failed:
      break;
  }
  err.Write(outcome.message + "\n");
  return kSendFailed;
}

int WakeMany(const SendOptions& options, const PrinterCatalog& printers, Spooler& spooler,
             const JobWatcher& watcher, TextOutput& out, TextOutput& err) {
  Deadline deadline(kServerPatience);
  std::vector<std::string> named = options.printers;
  if (!options.all && named.empty()) {
    int status = kSendSucceeded;
    const std::optional<std::string> printer = DefaultPrinter(printers, deadline, err, status);
    if (!printer) return status;
    named.push_back(*printer);
  }
  const SpoolerAnswer<WakeTargets> targets =
      ChooseWakeTargets(printers, named, options.all, deadline);
  if (!targets.Answered()) return Unreachable(err, targets.failure);
  // A morning report of nothing would read like a quiet success.
  if (options.all && targets.value.known.empty()) {
    err.Write("brisakett-send: no printers are listed; nothing to wake\n");
    return kSendNotRecognized;
  }

  WakeReportWriter writer(out, options.json);
  for (const std::string& unknown : targets.value.unknown) {
    writer.Add({unknown, WakeOutcome::NotRecognized, 0, messages::kPrinterNotRecognized});
  }
  WakeSettings settings;
  settings.parallel = options.jobs;
  if (options.waitSeconds) settings.follow = std::chrono::seconds(*options.waitSeconds);
  settings.cancelOnTimeout = options.cancelOnTimeout;
  WakePrinters(targets.value.known, spooler, watcher, settings,
               [&writer](const PrinterWakeReport& report) { writer.Add(report); });
  writer.Finish();
  return writer.ExitStatus();
}

}  // namespace

int RunSendCommand(const std::vector<std::string>& arguments, SpoolerLogin& login,
                   const PrinterCatalog& printers, Spooler& spooler, const JobWatcher& watcher,
                   TextOutput& out, TextOutput& err) {
  std::string problem;
  const std::optional<SendOptions> options = ParseSendOptions(arguments, problem);
  if (!options) return UsageError(err, problem);
  if (options->user) login.user = *options->user;
  switch (options->action) {
    case SendOptions::Action::Help:
      out.Write(kUsage);
      return kSendSucceeded;
    case SendOptions::Action::Version:
      out.Write(std::string(messages::kAppTitle) + " " + messages::kVersion + "\n");
      return kSendSucceeded;
    case SendOptions::Action::List:
      return ListPrinters(printers, out, err);
    case SendOptions::Action::Wake:
      break;
  }
  if (options->SinglePrinter()) {
    const std::optional<std::string> named =
        options->printers.empty() ? std::nullopt : std::optional(options->printers.front());
    return WakePrinter(named, printers, spooler, out, err);
  }
  return WakeMany(*options, printers, spooler, watcher, out, err);
}

}  // namespace brisakett
