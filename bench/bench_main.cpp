// brisakett-bench: the figures of docs/performance.md, printed as one
// Markdown table. Starts a capture printer and three private CUPS
// schedulers, with 1, 1000 and 5000 queues, and measures:
//  - start-up of the program (brisakett-startup-probe) on each scheduler
//    beside an empty Qt window (bare-window-probe), three steps between and
//    the floor (window-floor-probe asking the scheduler the least way), each
//    a fresh process, all taking turns in the same rounds;
//  - peak resident memory of both once their window is shown;
//  - on each scheduler, taking turns in the same rounds: a press of "OK"
//    in the window, up to the job being accepted by the scheduler;
//    `lp -d QUEUE -o raw FILE` with the same bytes; the job alone on a
//    printer opened beforehand; the same job as a process of its own
//    (lone-job-probe), also with the name checked first; `brisakett-send
//    QUEUE`; and
//    `brisakett-send --list` beside `lpstat -e`, `brisakett-send
//    --version` (the process start alone) and what that is made of (`true`,
//    a program loading libcups, one loading libcups and the C++ runtime:
//    cups-start-probe, cups-cxx-start-probe), all but the press as whole
//    processes;
//  - SelectPrinter for the first, middle, last and a missing name;
//  - the IPP requests each of these sends, from the scheduler's access log.
// Every figure is the median of its runs; each ratio of a job or list to
// its reference, the median of the rounds' own ratios. A target that is
// missed where its floor (the least a program can take that does the same)
// is missed too is marked as forbidden by that floor.
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
#include <tuple>
#include <utility>
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
  int presses = 31;  // rounds of press, lp, job alone, brisakett-send, lists, per queue count
};

struct Paths {
  fs::path startupProbe, bareProbe, textProbe, bareWithCupsProbe, windowFloorProbe;
  fs::path loneJobProbe, cupsStartProbe, cupsCxxStartProbe, processStart;
  fs::path lp, lpstat, send, report, data;
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

ProbeRun RunProbe(const fs::path& program, const fs::path& report, const std::string& server,
                  const std::vector<std::string>& arguments) {
  fs::remove(report);
  std::vector<std::string> environment{"BRISAKETT_PROBE_REPORT=" + report.string()};
  if (!server.empty()) environment.push_back(server);
  std::vector<std::string> argv{program.string()};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  const bench::TimedRun run = bench::RunTimed(argv, environment);
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
  const Scheduler* scheduler = nullptr;  // the one it asks, if any
  // For window-floor-probe: how many names its list holds, in memory; with
  // a scheduler the probe also asks it the least way known (the floor).
  int listed = 0;
  std::vector<double> ms{}, mb{};
  std::string requests{};  // IPP requests of one start-up
  double Ms() const { return Median(ms); }
  double Mb() const { return Median(mb); }
};

// Every program starts once per round, each round beginning with a different
// one, so that none always follows another and a busy moment of the machine
// falls on all of them alike.
void MeasureStartups(const Paths& paths, const Settings& settings,
                     std::vector<StartupSeries>& series) {
  const auto run = [&](const StartupSeries& each) {
    std::vector<std::string> arguments;
    if (each.listed) arguments.push_back(std::to_string(each.listed));
    if (each.listed && each.scheduler) arguments.push_back("--ask");
    return RunProbe(each.program, paths.report,
                    each.scheduler ? each.scheduler->ServerVariable() : std::string(), arguments);
  };
  for (const StartupSeries& each : series) run(each);  // warms the page cache

  for (int round = 0; round < settings.runs; ++round) {
    for (std::size_t i = 0; i < series.size(); ++i) {
      StartupSeries& each = series[(i + std::size_t(round)) % series.size()];
      const ProbeRun probe = run(each);
      if (each.scheduler || each.listed) {
        const int queues = each.listed ? each.listed : each.scheduler->queues;
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
    if (!each.scheduler || each.listed) continue;
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

// One figure's times on one scheduler, one per round.
struct Series {
  std::vector<double> ms;

  double Ms() const { return Median(ms); }
  // The median of each round's ratio to `reference`, timed in the same
  // round: on a machine shared with other work, a busy moment then weighs
  // on both sides of the ratio alike.
  double Over(const Series& reference) const {
    std::vector<double> ratios;
    for (std::size_t i = 0; i < ms.size() && i < reference.ms.size(); ++i) {
      ratios.push_back(ms[i] / reference.ms[i]);
    }
    return Median(ratios);
  }
};

// One scheduler's rounds, and the requests of one more of each.
struct JobFigures {
  Series press, lp, submit, loneJob, checkedJob, send, list, lpstat, start;
  // What the process start (start) is made of.
  Series bareStart, cupsStart, cupsCxxStart;
  std::string pressRequests, lpRequests, sendRequests, listRequests, lpstatRequests;
  // A press on the first queue while the saved printer is the last one:
  // the press also asks whether the printer to return to still exists.
  std::string otherPressRequests;
};

JobFigures MeasureJobs(const Paths& paths, const Settings& settings, const Scheduler& scheduler,
                       tools::CaptureServer& printer) {
  const std::string queue = BenchQueueName(scheduler.queues);
  const fs::path accessLog = scheduler.AccessLog();
  Program program;
  auto* list = program.form.findChild<QComboBox*>("Combo1");
  auto* ok = program.form.findChild<QPushButton*>("Command1");
  if (list->count() != scheduler.queues) Fail("the window in the bench lists the wrong printers");
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
  SpoolerFailure unopened;
  const std::unique_ptr<SpoolerPrinter> opened = spooler->Open(queue, patience, unopened);
  if (!opened) Fail("cannot open " + queue + ": " + unopened.reason);
  const auto submit = [&] {
    std::size_t written = 0;
    const std::int64_t start = MonotonicNs();
    const bool accepted = opened->StartDoc(kWarmUpDocumentName) && opened->StartPage() &&
                          opened->Write(kWarmUpStream, written) && opened->EndPage() &&
                          opened->EndDoc();
    const std::int64_t end = MonotonicNs();
    if (!accepted) Fail("the job alone was refused: " + opened->LastFailure().reason);
    if (!printer.WaitForJobs(++jobs, 30s)) Fail("the job alone did not reach the printer");
    return double(end - start) / 1e6;
  };
  // A whole process that sends the job: lp, lone-job-probe or brisakett-send.
  const auto job = [&](const std::vector<std::string>& argv) {
    const bench::TimedRun run = bench::RunTimed(argv);
    if (run.exitStatus != 0) Fail(argv[0] + " failed with status " + std::to_string(run.exitStatus));
    if (!printer.WaitForJobs(++jobs, 30s)) Fail("the job of " + argv[0] + " did not reach the printer");
    return run.Ms();
  };
  // A whole process that lists the printers and sends nothing.
  const auto listing = [&](const std::vector<std::string>& argv) {
    const bench::TimedRun run = bench::RunTimed(argv);
    if (run.exitStatus != 0) Fail(argv[0] + " failed with status " + std::to_string(run.exitStatus));
    return run.Ms();
  };
  const std::vector<std::string> lpCommand{paths.lp.string(), "-d", queue, "-o", "raw",
                                           paths.data.string()};
  const std::vector<std::string> loneJobCommand{paths.loneJobProbe.string(), queue};
  const std::vector<std::string> checkedJobCommand{paths.loneJobProbe.string(), "--check-name",
                                                   queue};
  const std::vector<std::string> sendCommand{paths.send.string(), queue};
  const std::vector<std::string> listCommand{paths.send.string(), "--list"};
  const std::vector<std::string> lpstatCommand{paths.lpstat.string(), "-e"};
  // brisakett-send that asks the scheduler nothing: what starting the
  // process alone costs, libcups and its libraries loaded.
  const std::vector<std::string> startCommand{paths.send.string(), "--version"};
  // And what that is made of: a process that loads nothing but the C
  // library; one that loads libcups; one that loads libcups and the C++
  // runtime, as brisakett-send does.
  const std::vector<std::string> bareStartCommand{paths.processStart.string()};
  const std::vector<std::string> cupsStartCommand{paths.cupsStartProbe.string()};
  const std::vector<std::string> cupsCxxStartCommand{paths.cupsCxxStartProbe.string()};

  // Once each untimed: the first press also builds the About window, and
  // the page cache gets every program.
  press();
  job(lpCommand);
  submit();
  job(loneJobCommand);
  job(checkedJobCommand);
  job(sendCommand);
  listing(listCommand);
  listing(lpstatCommand);
  listing(startCommand);
  listing(bareStartCommand);
  listing(cupsStartCommand);
  listing(cupsCxxStartCommand);
  JobFigures figures;
  const std::vector<std::function<void()>> steps{
      [&] { figures.press.ms.push_back(press()); },
      [&] { figures.lp.ms.push_back(job(lpCommand)); },
      [&] { figures.submit.ms.push_back(submit()); },
      [&] { figures.loneJob.ms.push_back(job(loneJobCommand)); },
      [&] { figures.checkedJob.ms.push_back(job(checkedJobCommand)); },
      [&] { figures.send.ms.push_back(job(sendCommand)); },
      [&] { figures.list.ms.push_back(listing(listCommand)); },
      [&] { figures.lpstat.ms.push_back(listing(lpstatCommand)); },
      [&] { figures.start.ms.push_back(listing(startCommand)); },
      [&] { figures.bareStart.ms.push_back(listing(bareStartCommand)); },
      [&] { figures.cupsStart.ms.push_back(listing(cupsStartCommand)); },
      [&] { figures.cupsCxxStart.ms.push_back(listing(cupsCxxStartCommand)); }};
  // Each round starts with a different one, so none always follows another.
  for (int round = 0; round < settings.presses; ++round) {
    for (std::size_t i = 0; i < steps.size(); ++i) steps[(i + std::size_t(round)) % steps.size()]();
  }

  const auto requestsOf = [&](const std::function<void()>& step) {
    const std::size_t before = bench::LoggedOperations(accessLog).size();
    step();
    return bench::DescribeOperationsSince(accessLog, before);
  };
  figures.pressRequests = requestsOf([&] { press(); });
  if (scheduler.queues > 1) {
    list->setEditText(QString::fromStdString(BenchQueueName(1)));
    figures.otherPressRequests = requestsOf([&] { press(); });
    list->setEditText(QString::fromStdString(queue));
  }
  figures.lpRequests = requestsOf([&] { job(lpCommand); });
  figures.sendRequests = requestsOf([&] { job(sendCommand); });
  figures.listRequests = requestsOf([&] { listing(listCommand); });
  figures.lpstatRequests = requestsOf([&] { listing(lpstatCommand); });

  for (const std::string& bytes : printer.Jobs()) {
    if (bytes != kWarmUpStream) Fail("a job reached the printer with other bytes");
  }
  return figures;
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

// `floor` is the same figure for the least a program can do that does what
// this one must: when the floor itself is over the target, no such program
// meets it, and the verdict says so.
std::string Verdict(double ratio, double limit, double floor) {
  // A figure just over the target would print as the target itself.
  const auto shown = [limit](double value) {
    return Fixed(value, value > limit && Fixed(value, 2) == Fixed(limit, 2) ? 3 : 2);
  };
  if (ratio <= limit) return shown(ratio) + " (met)";
  if (floor > limit) return shown(ratio) + " (missed; floor " + shown(floor) + " forbids)";
  return shown(ratio) + " (missed)";
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

// "4: Create-Job, ..." begins with the number of requests.
int RequestCount(const std::string& described) { return std::atoi(described.c_str()); }

std::string Queues(int count) { return std::to_string(count) + (count == 1 ? " queue" : " queues"); }

}  // namespace

int main(int argc, char** argv) {
  const Settings settings = ReadSettings(argc, argv);
  // The probes inherit this; the window in this process draws into memory too.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);

  // Queue counts and, for each, how many times a bare Qt window's start-up
  // the program's may take to show its filled list.
  const std::vector<std::pair<int, double>> sizes{{1, 1.5}, {1000, 1.8}, {5000, 2.5}};
  constexpr double kSendTarget = 0.9;    // brisakett-send QUEUE / lp
  constexpr double kPressTarget = 0.6;   // press of "OK" / lp
  constexpr int kPressRequests = 4;      // requests per press
  constexpr double kListTarget = 0.5;    // brisakett-send --list / lpstat -e
  constexpr double kMemoryTarget = 1.3;  // peak memory / bare window

  tools::CaptureServer printer;
  std::string why;
  std::vector<Scheduler> schedulers;
  for (const auto& [queues, target] : sizes) {
    Scheduler scheduler{queues, testing::PrivateCupsd::Start(&why)};
    if (!scheduler.cupsd) Fail("cupsd did not start: " + why);
    schedulers.push_back(std::move(scheduler));
  }
  const Scheduler& one = schedulers.front();
  const Scheduler& largest = schedulers.back();

  Paths paths;
  paths.startupProbe = ThisProgramsFolder() / "brisakett-startup-probe";
  paths.bareProbe = ThisProgramsFolder() / "bare-window-probe";
  paths.textProbe = ThisProgramsFolder() / "text-window-probe";
  paths.bareWithCupsProbe = ThisProgramsFolder() / "bare-window-with-cups-probe";
  paths.windowFloorProbe = ThisProgramsFolder() / "window-floor-probe";
  paths.loneJobProbe = ThisProgramsFolder() / "lone-job-probe";
  paths.cupsStartProbe = ThisProgramsFolder() / "cups-start-probe";
  paths.cupsCxxStartProbe = ThisProgramsFolder() / "cups-cxx-start-probe";
  paths.send = ThisProgramsFolder() / "brisakett-send";
  paths.processStart = testing::FindProgram("true");
  paths.lp = testing::FindProgram("lp");
  paths.lpstat = testing::FindProgram("lpstat");
  paths.report = fs::path(one.cupsd->Folder()) / "probe-report";
  paths.data = fs::path(one.cupsd->Folder()) / "warmup.pcl";
  if (paths.lp.empty() || paths.lpstat.empty()) {
    Fail("lp or lpstat is not installed (Debian package cups-client)");
  }
  std::ofstream(paths.data, std::ios::binary) << kWarmUpStream;

  // What adding queues one by one costs, to show why the bench does not;
  // on a scheduler configured like the others.
  Use(one);
  if (!bench::RestartLikeAnInstalledScheduler(*one.cupsd, &why)) Fail(why);
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
    startups.push_back({Queues(scheduler.queues), paths.startupProbe, &scheduler});
  }
  const std::size_t windows = startups.size();
  startups.push_back({"bare Qt window", paths.bareProbe});
  startups.push_back({"bare Qt window with one line of text", paths.textProbe});
  startups.push_back({"bare Qt window with libcups loaded", paths.bareWithCupsProbe});
  for (const Scheduler& scheduler : schedulers) {
    startups.push_back({"the window, " + Queues(scheduler.queues) +
                            " listed from memory, libcups loaded, no scheduler",
                        paths.windowFloorProbe, nullptr, scheduler.queues});
  }
  // The floor of each start-up: the same window showing the same list,
  // shown once the scheduler has been asked the least way known.
  const std::size_t firstFloor = startups.size();
  for (const Scheduler& scheduler : schedulers) {
    startups.push_back({"the window, " + Queues(scheduler.queues) +
                            " in memory, shown once the scheduler has answered the same "
                            "questions asked the least way (one thread, printer-name alone)",
                        paths.windowFloorProbe, &scheduler, scheduler.queues});
  }
  MeasureStartups(paths, settings, startups);
  const StartupSeries& bare = startups[windows];

  const std::string kWindowFloor = "(floor: the window, asking the least way)";
  std::vector<Row> rows;
  for (std::size_t i = 0; i < windows; ++i) {
    const StartupSeries& program = startups[i];
    const StartupSeries& windowFloor = startups[firstFloor + i];
    const double target = sizes[i].second;
    rows.push_back({"Start-up to window shown and list filled, " + program.label,
                    Fixed(program.Ms(), 1) + " ms", "bare Qt window " + Fixed(bare.Ms(), 1) + " ms",
                    Verdict(program.Ms() / bare.Ms(), target, windowFloor.Ms() / bare.Ms()),
                    "<= " + Fixed(target, 1) + " x bare " + kWindowFloor});
  }
  const auto whatFor = [&](std::size_t i, const char* where) {
    if (i >= firstFloor) return std::string("(floor for a window showing the scheduler's list)");
    return std::string(where);
  };
  for (std::size_t i = windows + 1; i < startups.size(); ++i) {
    rows.push_back({"Start-up of " + startups[i].label, Fixed(startups[i].Ms(), 1) + " ms",
                    "bare Qt window " + Fixed(bare.Ms(), 1) + " ms",
                    Fixed(startups[i].Ms() / bare.Ms(), 2), whatFor(i, "(where the time goes)")});
  }
  for (std::size_t i = 0; i < windows; ++i) {
    rows.push_back({"Peak resident memory, window shown, " + startups[i].label,
                    Fixed(startups[i].Mb(), 1) + " MiB",
                    "bare Qt window " + Fixed(bare.Mb(), 1) + " MiB",
                    Verdict(startups[i].Mb() / bare.Mb(), kMemoryTarget,
                            startups[firstFloor + i].Mb() / bare.Mb()),
                    "<= " + Fixed(kMemoryTarget, 1) + " x bare " + kWindowFloor});
  }
  for (std::size_t i = windows + 1; i < startups.size(); ++i) {
    rows.push_back({"Peak resident memory of " + startups[i].label,
                    Fixed(startups[i].Mb(), 1) + " MiB",
                    "bare Qt window " + Fixed(bare.Mb(), 1) + " MiB",
                    Fixed(startups[i].Mb() / bare.Mb(), 2), whatFor(i, "(where the memory goes)")});
  }

  std::vector<Row> requestRows;
  for (std::size_t i = 0; i < windows; ++i) {
    requestRows.push_back({"IPP requests at start-up, " + startups[i].label, startups[i].requests,
                           "-", "-", "list in one round trip, not one per queue"});
  }
  for (const Scheduler& scheduler : schedulers) {
    Use(scheduler);
    const std::string on = Queues(scheduler.queues);
    const JobFigures figures = MeasureJobs(paths, settings, scheduler, printer);
    const JobFigures& f = figures;
    const std::string lp = "lp process " + Fixed(f.lp.Ms(), 2) + " ms";
    rows.push_back({"`brisakett-send QUEUE` process, " + on, Fixed(f.send.Ms(), 2) + " ms", lp,
                    Verdict(f.send.Over(f.lp), kSendTarget, f.checkedJob.Over(f.lp)),
                    "<= " + Fixed(kSendTarget, 1) + " x lp (floor: the job alone as a process, "
                    "name checked)"});
    rows.push_back({"\"OK\" press to job accepted, " + on, Fixed(f.press.Ms(), 2) + " ms", lp,
                    Verdict(f.press.Over(f.lp), kPressTarget, f.submit.Over(f.lp)),
                    "<= " + Fixed(kPressTarget, 1) + " x lp (floor: the job alone)"});
    const auto beside = [&](const std::string& what, const Series& series, const Series& reference,
                            const std::string& referenceText, const std::string& note) {
      rows.push_back({what + ", " + on, Fixed(series.Ms(), 2) + " ms", referenceText,
                      Fixed(series.Over(reference), 2), note});
    };
    beside("The job alone (Create-Job, Send-Document, printer opened before)", f.submit, f.lp, lp,
           "(floor for any program)");
    beside("The job alone as a process (libcups loaded, one connection, no name check)",
           f.loneJob, f.lp, lp, "(floor for a program that sends it)");
    beside("The job alone as a process, the name checked first (one Get-Printer-Attributes, "
           "lpoptions read)",
           f.checkedJob, f.lp, lp, "(floor for a program that wakes only a listed name)");
    const std::string lpstat = "lpstat -e process " + Fixed(f.lpstat.Ms(), 2) + " ms";
    rows.push_back({"`brisakett-send --list` process, " + on, Fixed(f.list.Ms(), 2) + " ms", lpstat,
                    Verdict(f.list.Over(f.lpstat), kListTarget, f.start.Over(f.lpstat)),
                    "<= " + Fixed(kListTarget, 1) + " x lpstat -e (floor: the process start)"});
    rows.push_back({"`brisakett-send --version` process (no request), " + on,
                    Fixed(f.start.Ms(), 2) + " ms", lp + "; " + lpstat,
                    Fixed(f.start.Over(f.lp), 2) + " / " + Fixed(f.start.Over(f.lpstat), 2),
                    "(process start alone, against lp / lpstat -e)"});
    const std::string version = "--version " + Fixed(f.start.Ms(), 2) + " ms";
    beside("A C++ program loading libcups and the shared C++ runtime, asking nothing",
           f.cupsCxxStart, f.start, version, "(floor of --version: what brisakett-send loads)");
    beside("A program loading libcups alone, asking nothing", f.cupsStart, f.start, version,
           "(what the process start is made of)");
    beside("`true` (the C library alone)", f.bareStart, f.start, version,
           "(what the process start is made of)");
    const int perPress = RequestCount(figures.pressRequests);
    requestRows.push_back({"IPP requests per press, " + on, figures.pressRequests,
                           "lp: " + figures.lpRequests,
                           std::to_string(perPress) +
                               (perPress <= kPressRequests ? " (met)" : " (missed)"),
                           "<= " + std::to_string(kPressRequests)});
    if (!figures.otherPressRequests.empty()) {
      const int perOtherPress = RequestCount(figures.otherPressRequests);
      requestRows.push_back(
          {"IPP requests per press on " + BenchQueueName(1) + ", the default saved, " + on,
           figures.otherPressRequests, "-",
           std::to_string(perOtherPress) +
               (perOtherPress <= kPressRequests ? " (met)" : " (missed)"),
           "<= " + std::to_string(kPressRequests)});
    }
    requestRows.push_back({"IPP requests of `brisakett-send QUEUE`, " + on, figures.sendRequests,
                           "lp: " + figures.lpRequests, "-", "-"});
    requestRows.push_back({"IPP requests of `brisakett-send --list`, " + on, figures.listRequests,
                           "lpstat -e: " + figures.lpstatRequests, "-", "-"});
  }

  Use(largest);
  const std::string on = Queues(largest.queues);
  for (const auto& [label, name, found] :
       {std::tuple{"first", BenchQueueName(1), true},
        std::tuple{"middle", BenchQueueName(largest.queues / 2), true},
        std::tuple{"last", BenchQueueName(largest.queues), true},
        std::tuple{"missing", std::string("Bench-missing"), false}}) {
    rows.push_back({"SelectPrinter, " + on + ", " + label + " name",
                    Fixed(MeasureSelect(settings, name, found), 2) + " ms", "-", "-", "-"});
  }
  rows.insert(rows.end(), requestRows.begin(), requestRows.end());
  const double perQueue = Median(lpadminMs);
  rows.push_back({"Adding one queue with lpadmin (10 queues)", Fixed(perQueue, 1) + " ms",
                  "5000 queues: ~" + Fixed(perQueue * 5, 0) + " s", "-",
                  "(why the bench writes printers.conf instead)"});

  std::printf("Qt %s, CUPS library %d.%d.%d; %d start-ups of each program, %d rounds of "
              "press, lp, lone job, lone job process (with and without the name check), "
              "brisakett-send, brisakett-send --list, lpstat -e, brisakett-send --version and "
              "the three start probes per queue count; every figure a median.\n\n",
              qVersion(), CUPS_VERSION_MAJOR, CUPS_VERSION_MINOR, CUPS_VERSION_PATCH,
              settings.runs, settings.presses);
  PrintTable(rows);

  // Each scheduler puts back the environment it found, so they stop in
  // the reverse order of their start.
  while (!schedulers.empty()) schedulers.pop_back();
  return 0;
}
