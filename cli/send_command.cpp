#include "send_command.h"

#include <chrono>
#include <deque>
#include <optional>

#include "messages.h"
#include "metrics_file.h"
#include "send_options.h"
#include "print_server.h"
#include "wake_printers.h"
#include "wake_servers.h"
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
    "Usage: brisakett-send [-U USER] [-h SERVER]... [PRINTER]...\n"
    "       brisakett-send [-U USER] [-h SERVER]... --all [OPTION]...\n"
    "       brisakett-send [-U USER] [-h SERVER]... --list\n"
    "       brisakett-send --help | --version\n"
    "\n"
    "Wakes PCL printers: sends each the warm-up command as a one-page job through\n"
    "the print spooler, as the Brisakett window's \"OK\" button does. Without\n"
    "PRINTER the default printer is woken.\n"
    "\n"
    "  --all               wake every listed printer (saved instances, which are\n"
    "                      the same queue again, are left out)\n"
    "  --jobs N            submit up to N jobs at the same time on each print server\n"
    "                      (1 to 64, default 8)\n"
    "  --wait              follow the accepted jobs until the printer has each, then\n"
    "                      ask each printer until it reports itself ready: over\n"
    "                      IPP at its device URI's address when the URI is ipp,\n"
    "                      ipps (TLS), http or https, otherwise and when it gives\n"
    "                      no IPP answer over SNMP at the URI's host (the\n"
    "                      printer's own row of the Host Resources MIB); on\n"
    "                      Windows the spooler's status of it; for up to 120\n"
    "                      seconds from the start, and report what became of each\n"
    "  --timeout SECONDS   as --wait, for up to SECONDS (1 to 86400; also\n"
    "                      --wait=SECONDS); SIGTERM or SIGINT ends the wait early,\n"
    "                      every printer still reported\n"
    "  --cancel-on-timeout\n"
    "                      with --wait: cancel a job still waiting at the end;\n"
    "                      otherwise it stays queued and wakes the printer later\n"
    "  --json              one JSON object per printer instead of text lines\n"
    "  --metrics FILE      at the end of the run (also when stopped or out of time)\n"
    "                      put its results in FILE in Prometheus' text format, for\n"
    "                      the node exporter's textfile collector (name it *.prom):\n"
    "                      brisakett_printer_* by printer and server,\n"
    "                      brisakett_run_* for the whole run\n"
    "  --snmp-community NAME\n"
    "                      the SNMP v2c/v1 community --wait asks the printers\n"
    "                      with (default public; not used on Windows)\n"
    "  -U USER             the user name to give the print server (by default the\n"
    "                      login name); a server that wants a password asks for it\n"
    "                      on the terminal, once a run, and without one the job is\n"
    "                      refused\n"
    "  -h SERVER           the CUPS print server (HOST, HOST:PORT or [V6]:PORT) to\n"
    "                      use instead of the system's (CUPS_SERVER, client.conf);\n"
    "                      given again, one run wakes the printers of every\n"
    "                      server named, each with its own connections, password\n"
    "                      and deadline: --all takes every printer of each, a\n"
    "                      PRINTER is woken on every server that has it; a line\n"
    "                      then ends with SERVER, and a server that cannot be\n"
    "                      reached has a line of its own, NAME '-'\n"
    "  --list              list the installed printers, the default marked with '*'\n"
    "  --help              show this help\n"
    "  --version           show the version\n"
    "  --                  end of options; PRINTERs that start with '-' follow\n"
    "\n"
    "One PRINTER (or none) without --wait or --json answers as the window does:\n"
    "\"Kommando ausgeführt\", or the failure and the spooler's reason on standard\n"
    "error. Otherwise a line is written per printer as it finishes, its fields\n"
    "separated by tabs:\n"
    "  NAME  OUTCOME  JOB-ID  SECONDS  REASON  [SERVER, with -h]\n"
    "('-' for no job id or reason), then a line \"summary: ...\". OUTCOME is one of\n"
    "  sent               the spooler accepted the job (not followed)\n"
    "  ready              --wait: the printer has the job and reports itself idle or\n"
    "                     printing in two answers a second apart (or in its last\n"
    "                     answer when time ran out); SECONDS is from submitting\n"
    "                     to ready, REASON a warning such as low toner or\n"
    "                     service requested\n"
    "  warming-up         --wait: the printer has the job and was still warming up,\n"
    "                     coming back on-line or in power save when time ran out\n"
    "  needs-attention    --wait: the printer has the job but reports what keeps\n"
    "                     it from printing: no paper, no toner, door open,\n"
    "                     jammed, offline, toner or output tray missing, output\n"
    "                     full, the device unavailable, or over IPP any error,\n"
    "                     stopped or paused; or it does not tell, and the\n"
    "                     spooler heard such an error from it after the job\n"
    "                     (\"as the spooler last heard from it\")\n"
    "  delivered          --wait: the job completed; the printer has it, and\n"
    "                     REASON says why its status is not known: \"the printer\n"
    "                     does not report its status\" (no IPP or SNMP v2c or v1\n"
    "                     answer within about 3 s, or not a network printer this\n"
    "                     machine can ask: USB, file, class, dnssd://, or a\n"
    "                     localhost device of a remote print server), or what\n"
    "                     it said that tells nothing (testing, a malformed reply)\n"
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
    "With --json each line is {\"name\", \"server\", \"outcome\", \"job_id\",\n"
    "\"reason\", \"seconds\", \"ready_seconds\", \"device_status\", \"cancelled\"}\n"
    "(\"name\" null for a print server's own line) and there is no\n"
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

// With `server`, each line names the print server beside the printer.
int ListPrinters(const PrinterCatalog& printers, TextOutput& out, TextOutput& err,
                 const std::string& server = {}) {
  Deadline deadline(kServerPatience);
  const SpoolerAnswer<std::vector<std::string>> listed = printers.DeviceNames(deadline);
  if (!listed.Answered()) return Failed(err, listed);
  const SpoolerAnswer<std::optional<std::string>> defaultName =
      printers.DefaultDeviceName(deadline);
  if (!defaultName.Answered()) return Failed(err, defaultName);
  std::string lines;
  for (const std::string& name : listed.value) {
    lines += (name == defaultName.value ? "* " : "  ") + name + (server.empty() ? "" : "\t" + server) + "\n";
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

WakeSettings SettingsOf(const SendOptions& options, const std::atomic<bool>* stop,
                        const DeviceStatusSource* deviceStatus) {
  WakeSettings settings;
  settings.parallel = options.jobs;
  if (options.waitSeconds) settings.follow = std::chrono::seconds(*options.waitSeconds);
  settings.cancelOnTimeout = options.cancelOnTimeout;
  settings.stop = stop;
  settings.deviceStatus = deviceStatus;
  settings.snmpCommunity = options.snmpCommunity;
  return settings;
}

// A run on one print server.
int Wake(const SendOptions& options, const ServerOfRun& server, const std::atomic<bool>* stop,
         TextOutput& out, TextOutput& err, const DeviceStatusSource* deviceStatus,
         MetricsFile* metrics) {
  const PrinterCatalog& printers = server.printers;
  Spooler& spooler = server.spooler;
  const JobWatcher& watcher = server.watcher;
  WakeSettings settings = SettingsOf(options, stop, deviceStatus);
  settings.locator = server.locator;
  settings.server = server.label;

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
                 [&answer, metrics](const PrinterWakeReport& report) {
                   answer = report;
                   if (metrics) metrics->Add(report);
                 });
    return AnswerAsTheWindow(answer, theDefault, out, err);
  }
  WakeReportWriter writer(out, options.json, !options.servers.empty());
  WakePrinters(targets, printers, spooler, watcher, settings,
               [&writer, metrics](const PrinterWakeReport& report) {
                 writer.Add(report);
                 if (metrics) metrics->Add(report);
               });
  writer.Finish();
  return writer.ExitStatus();
}

// A run on several print servers at once.
int WakeMany(const SendOptions& options, const std::vector<ServerOfRun>& servers,
             const std::atomic<bool>* stop, TextOutput& out, TextOutput& err,
             const DeviceStatusSource* deviceStatus, MetricsFile* metrics) {
  if (!options.all && options.printers.empty()) {
    err.Write("brisakett-send: with several print servers, name the printers or give --all\n");
    return kExitUsageError;
  }
  WakeReportWriter writer(out, options.json, true);
  std::size_t reported = 0;
  WakeOnServers(servers, options.all, options.printers, SettingsOf(options, stop, deviceStatus),
                [&](const PrinterWakeReport& report) {
                  ++reported;
                  writer.Add(report);
                  if (metrics) metrics->Add(report);
                });
  if (reported == 0) {
    err.Write("brisakett-send: no printers are listed; nothing to wake\n");
    return kExitNotRecognized;
  }
  writer.Finish();
  return writer.ExitStatus();
}

int WakeOrList(const SendOptions& options, const std::vector<ServerOfRun>& servers,
               const std::atomic<bool>* stop, TextOutput& out, TextOutput& err,
               const DeviceStatusSource* deviceStatus, MetricsFile* metrics) {
  if (options.action == SendOptions::Action::List) {
    int status = kExitSucceeded;
    for (const ServerOfRun& server : servers) {
      status = WorseExitStatus(
          status, ListPrinters(server.printers, out, err, servers.size() > 1 ? server.label : ""));
    }
    return status;
  }
  if (servers.size() == 1) return Wake(options, servers.front(), stop, out, err, deviceStatus, metrics);
  return WakeMany(options, servers, stop, out, err, deviceStatus, metrics);
}

// The wake-up happened whatever becomes of its metrics: a file that cannot
// be written is told, and the exit status stays the run's own.
void WriteMetrics(const MetricsFile& metrics, const std::string& path, int exitStatus,
                  std::chrono::steady_clock::time_point started, TextOutput& err) {
  const std::string text = metrics.Text(exitStatus, std::chrono::system_clock::now(),
                                        std::chrono::steady_clock::now() - started);
  std::string problem;
  if (!ReplaceWholeFile(path, text, problem)) {
    err.Write("brisakett-send: the metrics could not be written to " + path + ": " + problem +
              "\n");
  }
}

}  // namespace

int RunSendCommand(const std::vector<std::string>& arguments, SpoolerLogin& login,
                   const PrinterCatalog& printers, Spooler& spooler, const JobWatcher& watcher,
                   TextOutput& out, TextOutput& err, const std::atomic<bool>* stop,
                   const DeviceLocator* locator, const DeviceStatusSource* deviceStatus,
                   const MakeServerParts& makeServer) {
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
    case SendOptions::Action::Wake:
      break;
  }
  if (!options->servers.empty() && !makeServer) {
    return UsageError(err, "-h names a CUPS print server; this system's spooler takes none");
  }

  // Each server named with -h has its own login (the same user and
  // prompt) and its own connections.
  std::deque<SpoolerLogin> logins;
  std::vector<ServerParts> parts;
  std::vector<ServerOfRun> servers;
  if (options->servers.empty()) {
    servers.push_back({{}, printers, spooler, watcher, locator});
  } else {
    parts.reserve(options->servers.size());
    for (const std::string& named : options->servers) {
      logins.push_back(login);
      logins.back().server = named;
      parts.push_back(makeServer(logins.back()));
      const ServerParts& made = parts.back();
      servers.push_back({PrintServerLabel(named), *made.printers, *made.spooler, *made.watcher, made.locator.get()});
    }
  }

  if (!options->metricsFile || options->action == SendOptions::Action::List) {
    return WakeOrList(*options, servers, stop, out, err, deviceStatus, nullptr);
  }
  // A run that ends before any job (no server, no printer) writes them
  // too, so that monitoring never keeps showing an older run's success.
  const auto started = std::chrono::steady_clock::now();
  MetricsFile metrics(options->waitSeconds.has_value());
  const int status = WakeOrList(*options, servers, stop, out, err, deviceStatus, &metrics);
  WriteMetrics(metrics, *options->metricsFile, status, started, err);
  return status;
}

}  // namespace brisakett
