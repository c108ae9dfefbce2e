// brisakett-bench: the figures of docs/performance.md, printed as one
// Markdown table. Starts a capture printer and three private CUPS
// schedulers, with 1, 100 and 1000 queues, and measures:
//  - start-up of the program (brisakett-startup-probe) on each scheduler
//    beside an empty Qt window (bare-window-probe) and two steps between,
//    each a fresh process, all taking turns in the same rounds;
//  - peak resident memory of both once their window is shown;
//  - a press of "OK" in the window, up to the job being accepted by the
//    scheduler, beside `lp -d QUEUE -o raw FILE` with the same bytes;
//  - SelectPrinter for the first, middle, last and a missing name;
//  - the IPP requests each of these sends, from the scheduler's access log.
// Every figure is the median of its runs.
//
//   brisakett-bench [--runs N] [--presses N]

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <cups/cups.h>

#include "capture_server.h"
#include "child_process.h"
#include "current_printer.h"
#include "form1.h"
#include "ipp_request_count.h"
#include "messages.h"
#include "msg_box.h"
#include "private_cupsd.h"
#include "scheduler_setup.h"
#include "system_printing.h"
#include "system_services.h"
#include "timed_process.h"
#include "warmup_stream.h"

namespace {

using namespace brisakett;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

using bench::BenchQueueName;
using bench::MonotonicNs;

struct Settings {
  int runs = 21;     // start-ups of each program per queue count
  int presses = 60;  // presses of "OK", and lp runs, per queue count
};

struct Paths {
  fs::path startupProbe, bareProbe, bareWithCupsProbe, windowOnlyProbe;
  fs::path lp, report, data;
};

// One private scheduler with its queues.
struct Scheduler {
  int queues = 0;
  std::unique_ptr<testing::PrivateCupsd> cupsd;
  fs::path AccessLog() const { return fs::path(cupsd->Folder()) / "log/access_log"; }
  std::string ServerVariable() const { return "CUPS_SERVER=" + cupsd->SocketPath(); }
};

// Points this process's libcups, and the programs it starts, at `scheduler`.
void Use(const Scheduler& scheduler) {
  setenv("CUPS_SERVER", scheduler.cupsd->SocketPath().c_str(), 1);
  cupsSetServer(scheduler.cupsd->SocketPath().c_str());
}

[[noreturn]] void Fail(const std::string& why) {
  std::fprintf(stderr, "brisakett-bench: %s\n", why.c_str());
  std::exit(1);
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::string Fixed(double value, int decimals) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

// ---------------------------------------------------------------- probes

struct ProbeRun {
  double ms = 0;     // process start to window shown
  double peakMb = 0; // VmHWM at that moment
  int items = -1;
  std::string current;
};

ProbeRun RunProbe(const fs::path& program, const fs::path& report,
                  const std::string& server = {}) {
  fs::remove(report);
  std::vector<std::string> environment{"BRISAKETT_PROBE_REPORT=" + report.string()};
  if (!server.empty()) environment.push_back(server);
  const bench::TimedRun run = bench::RunTimed({program.string()}, environment);
  if (run.exitStatus != 0) Fail(program.filename().string() + " did not end cleanly");
  std::ifstream in(report);
  std::string line;
  if (!std::getline(in, line)) Fail(program.filename().string() + " wrote no report");
  std::istringstream fields(line);
  std::int64_t shownNs = 0;
  long peakKb = 0;
  ProbeRun probe;
  fields >> shownNs >> peakKb >> probe.items;
  fields.get();
  std::getline(fields, probe.current);
  probe.ms = double(shownNs - run.startNs) / 1e6;
  probe.peakMb = double(peakKb) / 1024;
  return probe;
}

struct StartupSeries {
  std::string label;
  fs::path program;
  const Scheduler* scheduler = nullptr;  // the program's; none for the floors
  std::vector<double> ms, mb;
  std::string requests;  // IPP requests of one start-up
  double Ms() const { return Median(ms); }
  double Mb() const { return Median(mb); }
};

// Every program starts once per round, each round beginning with a different
// one, so that none always follows another and a busy moment of the machine
// falls on all of them alike.
void MeasureStartups(const Paths& paths, const Settings& settings,
                     std::vector<StartupSeries>& series) {
  const auto run = [&](const StartupSeries& each) {
    return RunProbe(each.program, paths.report,
                    each.scheduler ? each.scheduler->ServerVariable() : std::string());
  };
  for (const StartupSeries& each : series) run(each);  // warms the page cache

  for (int round = 0; round < settings.runs; ++round) {
    for (std::size_t i = 0; i < series.size(); ++i) {
      StartupSeries& each = series[(i + std::size_t(round)) % series.size()];
      const ProbeRun probe = run(each);
      if (each.scheduler) {
        const int queues = each.scheduler->queues;
        if (probe.items != queues || probe.current != BenchQueueName(queues)) {
          Fail("the window listed " + std::to_string(probe.items) + " printers with \"" +
               probe.current + "\" chosen; expected " + std::to_string(queues) + " with " +
               BenchQueueName(queues));
        }
      }
      each.ms.push_back(probe.ms);
      each.mb.push_back(probe.peakMb);
    }
  }

  for (StartupSeries& each : series) {
    if (!each.scheduler) continue;
    const fs::path log = each.scheduler->AccessLog();
    const std::size_t before = bench::LoggedOperations(log).size();
    run(each);
    each.requests = bench::DescribeOperationsSince(log, before);
  }
}

// ---------------------------------------------------------------- presses

// Answers every message at once and keeps the last text.
class KeptMsgBox final : public MsgBox {
public:
  QString last;
  void Show(QWidget*, const QString& text) override { last = text; }
};

// The program as main() puts it together, in this process.
struct Program {
  SystemServices system;
  KeptMsgBox msgBox;
  Form1 form{system.With(msgBox)};
};

struct PressFigures {
  double pressMs, lpMs, submitMs;
  std::string pressRequests, lpRequests;
};

PressFigures MeasurePresses(const Paths& paths, const Settings& settings,
                            const Scheduler& scheduler, tools::CaptureServer& printer) {
  const std::string queue = BenchQueueName(scheduler.queues);
  const fs::path accessLog = scheduler.AccessLog();
  Program program;
  auto* list = program.form.findChild<QComboBox*>("Combo1");
  auto* ok = program.form.findChild<QPushButton*>("Command1");
  list->setEditText(QString::fromStdString(queue));
  std::size_t jobs = printer.Jobs().size();

  const auto press = [&] {
    program.msgBox.last.clear();
    const std::int64_t start = MonotonicNs();
    ok->click();
    const std::int64_t end = MonotonicNs();
    if (program.msgBox.last != QString::fromUtf8(messages::kCommandExecuted)) {
      Fail("the press was answered \"" + program.msgBox.last.toStdString() + "\"");
    }
    // Waiting for the printer keeps the scheduler's backend for this job
    // from running into the next measurement.
    if (!printer.WaitForJobs(++jobs, 30s)) Fail("the pressed job did not reach the printer");
    QCoreApplication::processEvents();
    return double(end - start) / 1e6;
  };
  // The floor for any program: the job alone (Create-Job and Send-Document)
  // on a printer opened once beforehand.
  const SpoolerLogin login;
  const std::unique_ptr<Spooler> spooler = MakeSystemSpooler(login);
  // The floor keeps its own deadline far away: it is timed, not bounded.
  Deadline patience(std::chrono::hours(1));
  std::string unreachable;
  const std::unique_ptr<SpoolerPrinter> opened = spooler->Open(queue, patience, unreachable);
  if (!opened) Fail("cannot open " + queue + ": " + unreachable);
  const auto submit = [&] {
    std::size_t written = 0;
    const std::int64_t start = MonotonicNs();
    const bool accepted = opened->StartDoc(kWarmUpDocumentName) && opened->StartPage() &&
                          opened->Write(kWarmUpStream, written) && opened->EndPage() &&
                          opened->EndDoc();
    const std::int64_t end = MonotonicNs();
    if (!accepted) Fail("the job alone was refused: " + opened->LastError());
    if (!printer.WaitForJobs(++jobs, 30s)) Fail("the job alone did not reach the printer");
    return double(end - start) / 1e6;
  };
  const auto lp = [&] {
    const bench::TimedRun run =
        bench::RunTimed({paths.lp.string(), "-d", queue, "-o", "raw", paths.data.string()});
    if (run.exitStatus != 0) Fail("lp failed");
    if (!printer.WaitForJobs(++jobs, 30s)) Fail("the lp job did not reach the printer");
    return run.Ms();
  };

  press();  // the first press also builds the About window; not timed
  lp();
  submit();
  std::vector<double> pressMs, lpMs, submitMs;
  const std::vector<std::function<void()>> steps{[&] { pressMs.push_back(press()); },
                                                 [&] { lpMs.push_back(lp()); },
                                                 [&] { submitMs.push_back(submit()); }};
  // Each round starts with a different one, so none always follows another.
  for (int round = 0; round < settings.presses; ++round) {
    for (std::size_t i = 0; i < steps.size(); ++i) steps[(i + std::size_t(round)) % steps.size()]();
  }

  std::size_t before = bench::LoggedOperations(accessLog).size();
  press();
  const std::string pressRequests =
      bench::DescribeOperationsSince(accessLog, before);
  before = bench::LoggedOperations(accessLog).size();
  lp();
  const std::string lpRequests =
      bench::DescribeOperationsSince(accessLog, before);

  for (const std::string& bytes : printer.Jobs()) {
    if (bytes != kWarmUpStream) Fail("a job reached the printer with other bytes");
  }
  return {Median(pressMs), Median(lpMs), Median(submitMs), pressRequests, lpRequests};
}

// ---------------------------------------------------------- SelectPrinter

double MeasureSelect(const Settings& settings, const std::string& name, bool expected) {
  const SpoolerLogin login;
  const auto catalog = MakeSystemPrinterCatalog(login);
  CurrentPrinter current(std::nullopt);
  std::vector<double> ms;
  for (int i = 0; i < settings.runs; ++i) {
    const std::int64_t start = MonotonicNs();
    Deadline deadline(kServerPatience);
    const bool found = SelectPrinter(*catalog, current, name, deadline);
    ms.push_back(double(MonotonicNs() - start) / 1e6);
    if (found != expected) Fail("SelectPrinter(" + name + ") gave the wrong answer");
  }
  return Median(ms);
}

// ------------------------------------------------------------------ table

struct Row {
  std::string figure, program, beside, ratio, target;
};

std::string Verdict(double ratio, double limit) {
  return Fixed(ratio, 2) + (ratio <= limit ? " (met)" : " (missed)");
}

void PrintTable(const std::vector<Row>& rows) {
  std::printf("| Figure | Brisakett | Beside it, same run | Ratio | Target |\n");
  std::printf("|---|---:|---:|---:|---|\n");
  for (const Row& row : rows) {
    std::printf("| %s | %s | %s | %s | %s |\n", row.figure.c_str(), row.program.c_str(),
                row.beside.c_str(), row.ratio.c_str(), row.target.c_str());
  }
}

fs::path ThisProgramsFolder() { return fs::read_symlink("/proc/self/exe").parent_path(); }

Settings ReadSettings(int argc, char** argv) {
  Settings settings;
  for (int i = 1; i + 1 < argc; i += 2) {
    const int value = std::atoi(argv[i + 1]);
    if (value <= 0) Fail(std::string("bad number for ") + argv[i]);
    if (std::strcmp(argv[i], "--runs") == 0) {
      settings.runs = value;
    } else if (std::strcmp(argv[i], "--presses") == 0) {
      settings.presses = value;
    } else {
      Fail(std::string("unknown option ") + argv[i]);
    }
  }
  return settings;
}

}  // namespace

int main(int argc, char** argv) {
  const Settings settings = ReadSettings(argc, argv);
  // The probes inherit this; the window in this process draws into memory too.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);

  tools::CaptureServer printer;
  std::string why;
  std::vector<Scheduler> schedulers;
  for (const int queues : {1, 100, 1000}) {
    Scheduler scheduler{queues, testing::PrivateCupsd::Start(&why)};
    if (!scheduler.cupsd) Fail("cupsd did not start: " + why);
    schedulers.push_back(std::move(scheduler));
  }
  const Scheduler& one = schedulers[0];
  const Scheduler& thousand = schedulers[2];

  Paths paths;
  paths.startupProbe = ThisProgramsFolder() / "brisakett-startup-probe";
  paths.bareProbe = ThisProgramsFolder() / "bare-window-probe";
  paths.bareWithCupsProbe = ThisProgramsFolder() / "bare-window-with-cups-probe";
  paths.windowOnlyProbe = ThisProgramsFolder() / "window-without-scheduler-probe";
  paths.lp = testing::FindProgram("lp");
  paths.report = fs::path(one.cupsd->Folder()) / "probe-report";
  paths.data = fs::path(one.cupsd->Folder()) / "warmup.pcl";
  if (paths.lp.empty()) Fail("lp is not installed (Debian package cups-client)");
  std::ofstream(paths.data, std::ios::binary) << kWarmUpStream;

  // What adding queues one by one costs, to show why the bench does not.
  Use(one);
  std::vector<double> lpadminMs;
  for (int i = 1; i <= 10; ++i) {
    const std::int64_t start = MonotonicNs();
    if (!one.cupsd->AddQueue("Lpadmin-" + std::to_string(i), printer.Port(), &why)) Fail(why);
    lpadminMs.push_back(double(MonotonicNs() - start) / 1e6);
  }

  for (const Scheduler& scheduler : schedulers) {
    if (!bench::RestartWithQueues(*scheduler.cupsd, scheduler.queues, printer.Port(), &why)) {
      Fail(why);
    }
    Use(scheduler);
    // This process's libcups may still hold a connection to the scheduler
    // before its restart; the first request finds it closed and reconnects.
    const SpoolerLogin login;
    Deadline deadline(kServerPatience);
    if (MakeSystemPrinterCatalog(login)->DeviceNames(deadline).value.size() !=
        std::size_t(scheduler.queues)) {
      Fail("the scheduler does not list " + std::to_string(scheduler.queues) + " queues");
    }
  }

  std::vector<StartupSeries> startups;
  for (const Scheduler& scheduler : schedulers) {
    startups.push_back({std::to_string(scheduler.queues) + (scheduler.queues == 1 ? " queue" : " queues"),
                        paths.startupProbe, &scheduler, {}, {}, {}});
  }
  startups.push_back({"bare Qt window", paths.bareProbe, nullptr, {}, {}, {}});
  startups.push_back({"bare Qt window with libcups loaded", paths.bareWithCupsProbe, nullptr, {}, {}, {}});
  startups.push_back({"the window, list in memory, no scheduler", paths.windowOnlyProbe, nullptr, {}, {}, {}});
  MeasureStartups(paths, settings, startups);
  const StartupSeries& bare = startups[3];
  const StartupSeries& oneStart = startups[0];

  std::vector<Row> rows;
  for (std::size_t i = 0; i < 3; ++i) {
    const StartupSeries& program = startups[i];
    rows.push_back({"Start-up to window shown and list filled, " + program.label,
                    Fixed(program.Ms(), 1) + " ms", "bare Qt window " + Fixed(bare.Ms(), 1) + " ms",
                    i == 0 ? Verdict(program.Ms() / bare.Ms(), 1.05)
                           : Fixed(program.Ms() / bare.Ms(), 2),
                    i == 0 ? "<= 1.05 x bare" : "-"});
  }
  rows.push_back({"Start-up growth, 1000 queues against 1", Fixed(startups[2].Ms(), 1) + " ms",
                  "1 queue " + Fixed(oneStart.Ms(), 1) + " ms",
                  Verdict(startups[2].Ms() / oneStart.Ms(), 1.5), "<= 1.5 x own 1-queue"});
  for (std::size_t i = 4; i < 6; ++i) {
    rows.push_back({"Start-up of " + startups[i].label, Fixed(startups[i].Ms(), 1) + " ms",
                    "bare Qt window " + Fixed(bare.Ms(), 1) + " ms",
                    Fixed(startups[i].Ms() / bare.Ms(), 2), "(where the time goes)"});
  }
  for (std::size_t i = 0; i < 3; ++i) {
    rows.push_back({"Peak resident memory, window shown, " + startups[i].label,
                    Fixed(startups[i].Mb(), 1) + " MiB",
                    "bare Qt window " + Fixed(bare.Mb(), 1) + " MiB",
                    Verdict(startups[i].Mb() / bare.Mb(), 1.10), "<= 1.10 x bare"});
  }
  for (std::size_t i = 4; i < 6; ++i) {
    rows.push_back({"Peak resident memory of " + startups[i].label,
                    Fixed(startups[i].Mb(), 1) + " MiB",
                    "bare Qt window " + Fixed(bare.Mb(), 1) + " MiB",
                    Fixed(startups[i].Mb() / bare.Mb(), 2), "(where the memory goes)"});
  }

  std::vector<Row> requestRows;
  for (std::size_t i = 0; i < 3; ++i) {
    requestRows.push_back({"IPP requests at start-up, " + startups[i].label, startups[i].requests,
                           "-", "-", "list in one round trip, not one per queue"});
  }
  for (const Scheduler* scheduler : {&one, &thousand}) {
    Use(*scheduler);
    const PressFigures presses = MeasurePresses(paths, settings, *scheduler, printer);
    const std::string on = scheduler->queues == 1 ? "1 queue" : "1000 queues";
    rows.push_back({"\"OK\" press to job accepted, " + on + " (" +
                        std::to_string(settings.presses) + " presses)",
                    Fixed(presses.pressMs, 2) + " ms", "lp process " + Fixed(presses.lpMs, 2) + " ms",
                    Verdict(presses.pressMs / presses.lpMs, 0.5), "<= 0.5 x lp"});
    rows.push_back({"The job alone (Create-Job, Send-Document, printer opened before), " + on,
                    Fixed(presses.submitMs, 2) + " ms", "lp process " + Fixed(presses.lpMs, 2) + " ms",
                    Fixed(presses.submitMs / presses.lpMs, 2), "(floor for any program)"});
    requestRows.push_back({"IPP requests per press, " + on, presses.pressRequests,
                           "lp: " + presses.lpRequests, "-", "-"});
  }

  Use(thousand);
  for (const auto& [label, name, found] :
       {std::tuple{"first", BenchQueueName(1), true},
        std::tuple{"middle", BenchQueueName(500), true},
        std::tuple{"last", BenchQueueName(1000), true},
        std::tuple{"missing", std::string("Bench-missing"), false}}) {
    rows.push_back({std::string("SelectPrinter, 1000 queues, ") + label + " name",
                    Fixed(MeasureSelect(settings, name, found), 2) + " ms", "-", "-", "-"});
  }
  rows.insert(rows.end(), requestRows.begin(), requestRows.end());
  const double perQueue = Median(lpadminMs);
  rows.push_back({"Adding one queue with lpadmin (10 queues)", Fixed(perQueue, 1) + " ms",
                  "1000 queues: ~" + Fixed(perQueue, 0) + " s", "-",
                  "(why the bench writes printers.conf instead)"});

  std::printf("Qt %s, CUPS library %d.%d.%d; %d start-ups of each program, %d presses, "
              "lp runs and lone jobs per queue count; every figure a median.\n\n",
              qVersion(), CUPS_VERSION_MAJOR, CUPS_VERSION_MINOR, CUPS_VERSION_PATCH,
              settings.runs, settings.presses);
  PrintTable(rows);

  // Each scheduler puts back the environment it found, so they stop in
  // the reverse order of their start.
  while (!schedulers.empty()) schedulers.pop_back();
  return 0;
}
