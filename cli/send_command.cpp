#include "send_command.h"

#include <chrono>
#include <optional>

#include "messages.h"
#include "send_options.h"
#include "wake_printers.h"
#include "wake_report.h"
#include "wake_targets.h"

namespace brisakett {
namespace {

// The help is also the manual page: help2man reads it, and takes an option
// apart from its description only in this layout. An option line is two
// spaces, the option and its argument, at least two spaces, then the
// description, which starts at column 22 and never with '-'; an option
// too long for that (over 18 characters) has its description start on the
// next line, at column 22. Every further line of a description starts at
// that same column. The lists of outcomes and exit statuses follow the
// same rule with their own columns. No line is longer than 79 characters.
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
    "  --wait              follow the accepted jobs until the printer has each, then\n"
    "                      ask each printer (SNMP; on Windows the spooler's status\n"
    "                      of it) until it reports itself ready,\n"
    "                      for up to 120 seconds from the start, and report what\n"
    "                      became of each\n"
    "  --timeout SECONDS   as --wait, for up to SECONDS (0 to 86400; also\n"
    "                      --wait=SECONDS); SIGTERM or SIGINT ends the wait early,\n"
    "                      every printer still reported\n"
    "  --cancel-on-timeout\n"
    "                      with --wait: cancel a job still waiting at the end;\n"
    "                      otherwise it stays queued and wakes the printer later\n"
    "  --json              one JSON object per printer instead of text lines\n"
    "  --snmp-community NAME\n"
    "                      the SNMP v1/v2c community --wait asks the printers\n"
    "                      with (default public; not used on Windows)\n"
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
    "  ready              --wait: the printer has the job and reports itself idle or\n"
    "                     printing; SECONDS is from submitting to ready, REASON\n"
    "                     a warning such as low toner\n"
    "  warming-up         --wait: the printer has the job and was still warming up\n"
    "                     (or in power save) when time ran out\n"
    "  needs-attention    --wait: the printer has the job but reports what keeps\n"
    "                     it from printing: door open, jammed, no paper, no\n"
    "                     toner, offline, service requested, or the device down\n"
    "  delivered          --wait: the job completed; the printer has it, and\n"
    "                     REASON says why its status is not known: \"the printer\n"
    "                     does not report its status\" (no SNMP answer within\n"
    "                     about 3 s, or not a network printer this machine can\n"
    "                     ask: USB, file, class, dnssd://, or a localhost device\n"
    "                     of a remote print server)\n"
    "  still-waiting      --wait: time ran out before the printer had the job;\n"
    "                     REASON gives the spooler's cause: queue stopped, job\n"
    "                     held, printer not reachable, or sending to the printer\n"
    "                     and the printer's message while the spooler retries\n"
    "                     (no JOB-ID: not submitted before the time ran out)\n"
    "  unknown            --wait: the job left the spooler without a word of how\n"
    "                     it ended (a scheduler that keeps no job history and\n"
    "                     could not be followed, or a job deleted by hand)\n"
    "  failed-at-printer  --wait: the spooler aborted or cancelled the job, or the\n"
    "                     printer refused it\n"
    "  not-recognized     no listed printer has that name; it is skipped\n"
    "  refused            the spooler did not accept the whole job\n"
    "  unreachable        the print server cannot be reached or did not answer\n"
    "With --json each line is {\"name\", \"outcome\", \"job_id\", \"reason\",\n"
    "\"seconds\", \"ready_seconds\", \"device_status\", \"cancelled\"} and there is no\n"
    "summary; \"seconds\" is from submitting to delivered, \"ready_seconds\" to\n"
    "ready (else null), \"device_status\" what the printer said of itself (else\n"
    "null).\n"
    "\n"
    "Exit status:\n"
    "  0  sent: the print server confirmed it has the whole job (or, with --wait,\n"
    "     the printer has it: ready or delivered)\n"
    "  1  the print server refused the job or the question, or wanted a password\n"
    "     that was not given (its reason is shown)\n"
    "  2  wrong usage\n"
    "  3  no printer of that name, no default printer (--all: none listed)\n"
    "  4  the print server cannot be reached or did not answer in time\n"
    "  5  --wait: still waiting, or still warming up, when time ran out\n"
    "  6  --wait: failed at the printer\n"
    "  7  --wait: needs attention\n"
    "  8  --wait: unknown\n"
    "With several printers the status is the worst of their outcomes, from best\n"
    "to worst: 0, 5, 7, 8, 3, 6, 1, 4.\n"
    "Every answer waits at most 5 seconds for the print server, plus 10 seconds\n"
    "after each password given; with --wait, the run ends within its time and\n"
    "those 5 seconds.\n";

int UsageError(TextOutput& err, const std::string& problem) {
  err.Write("brisakett-send: " + problem + "\nTry 'brisakett-send --help'.\n");
  return kExitUsageError;
}

int Failed(TextOutput& err, const ServerAnswer& failure) {
  err.Write(std::string(messages::kCommandFailed) + "\n" + failure.reason + "\n");
  return ExitStatusOfFailure(failure);
}

int ListPrinters(const PrinterCatalog& printers, TextOutput& out, TextOutput& err) {
  Deadline deadline(kServerPatience);
  const SpoolerAnswer<std::vector<std::string>> listed = printers.DeviceNames(deadline);
  if (!listed.Answered()) return Failed(err, listed);
  const SpoolerAnswer<std::optional<std::string>> defaultName =
      printers.DefaultDeviceName(deadline);
  if (!defaultName.Answered()) return Failed(err, defaultName);
  std::string lines;
  for (const std::string& name : listed.value) {
    lines += (name == defaultName.value ? "* " : "  ") + name + "\n";
  }
  out.Write(lines);
  return kExitSucceeded;
}

// One printer named (or the default) and nothing more asked: the answer in
// the window's words.
int AnswerAsTheWindow(const PrinterWakeReport& report, bool theDefault, TextOutput& out,
                      TextOutput& err) {
  switch (report.outcome) {
    case WakeOutcome::Sent:
      out.Write(std::string(messages::kCommandExecuted) + "\n");
      break;
    case WakeOutcome::NotRecognized:
      err.Write(theDefault ? "The default printer " + report.name + " is not installed.\n"
                           : std::string(messages::kPrinterNotRecognized) + "\n");
      break;
    default:
      err.Write(std::string(messages::kCommandFailed) + "\n" + report.reason + "\n");
      break;
  }
  return ExitStatusOf(report.outcome);
}

int Wake(const SendOptions& options, const PrinterCatalog& printers, Spooler& spooler,
         const JobWatcher& watcher, const std::atomic<bool>* stop, TextOutput& out,
         TextOutput& err, const DeviceLocator* locator, const DeviceStatusSource* deviceStatus) {
  WakeSettings settings;
  settings.parallel = options.jobs;
  if (options.waitSeconds) settings.follow = std::chrono::seconds(*options.waitSeconds);
  settings.cancelOnTimeout = options.cancelOnTimeout;
  settings.stop = stop;
  settings.locator = locator;
  settings.deviceStatus = deviceStatus;
  settings.snmpCommunity = options.snmpCommunity;

  Deadline deadline(kServerPatience);
  std::vector<std::string> targets;
  const bool theDefault = !options.all && options.printers.empty();
  if (options.all) {
    const SpoolerAnswer<std::vector<std::string>> listed = AllWakeTargets(printers, deadline);
    if (!listed.Answered()) return Failed(err, listed);
    // A morning report of nothing would read like a quiet success.
    if (listed.value.empty()) {
      err.Write("brisakett-send: no printers are listed; nothing to wake\n");
      return kExitNotRecognized;
    }
    targets = listed.value;
    settings.checkNames = false;  // just read from the list
  } else if (theDefault) {
    const SpoolerAnswer<std::optional<std::string>> defaultName =
        printers.DefaultDeviceName(deadline);
    if (!defaultName.Answered()) return Failed(err, defaultName);
    if (!defaultName.value) {
      err.Write("There is no default printer; name the printer to wake.\n");
      return kExitNotRecognized;
    }
    targets.push_back(*defaultName.value);
  } else {
    targets = EachOnce(options.printers);
  }
  // One printer's whole answer, the default's look-up included, keeps one
  // bound, as a press of "OK" does.
  if (targets.size() == 1) settings.shared = deadline;

  if (options.SinglePrinter()) {
    PrinterWakeReport answer;
    WakePrinters(targets, printers, spooler, watcher, settings,
                 [&answer](const PrinterWakeReport& report) { answer = report; });
    return AnswerAsTheWindow(answer, theDefault, out, err);
  }
  WakeReportWriter writer(out, options.json);
  WakePrinters(targets, printers, spooler, watcher, settings,
               [&writer](const PrinterWakeReport& report) { writer.Add(report); });
  writer.Finish();
  return writer.ExitStatus();
}

}  // namespace

int RunSendCommand(const std::vector<std::string>& arguments, SpoolerLogin& login,
                   const PrinterCatalog& printers, Spooler& spooler, const JobWatcher& watcher,
                   TextOutput& out, TextOutput& err, const std::atomic<bool>* stop,
                   const DeviceLocator* locator, const DeviceStatusSource* deviceStatus) {
  std::string problem;
  const std::optional<SendOptions> options = ParseSendOptions(arguments, problem);
  if (!options) return UsageError(err, problem);
  if (options->user) login.user = *options->user;
  switch (options->action) {
    case SendOptions::Action::Help:
      out.Write(kUsage);
      return kExitSucceeded;
    case SendOptions::Action::Version:
      out.Write(std::string(messages::kAppTitle) + " " + messages::kVersion + "\n");
      return kExitSucceeded;
    case SendOptions::Action::List:
      return ListPrinters(printers, out, err);
    case SendOptions::Action::Wake:
      break;
  }
  return Wake(*options, printers, spooler, watcher, stop, out, err, locator, deviceStatus);
}

}  // namespace brisakett
