#include "print_servers_figure.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "capture_server.h"
#include "private_cupsd.h"
#include "scheduler_jobs.h"
#include "scheduler_setup.h"
#include "timed_process.h"
#include "warmup_stream.h"

namespace brisakett::bench {
namespace {

constexpr const char* kWait = "--wait=120";

struct Server {
  std::unique_ptr<testing::PrivateCupsd> cupsd;
  int queues = 0;
  std::string Address() const { return "127.0.0.1:" + std::to_string(cupsd->TcpPort()); }
};

// The CPU time of the scheduler and of the backends it has reaped, in ms.
double SchedulerCpuMs(const testing::PrivateCupsd& cupsd) {
  std::ifstream in("/proc/" + std::to_string(cupsd.Pid()) + "/stat");
  const std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // Past the name in brackets come the state (field 3) and the rest;
  // utime, stime, cutime and cstime are fields 14 to 17.
  std::istringstream fields(stat.substr(stat.rfind(')') + 1));
  std::string skipped;
  for (int field = 3; field < 14; ++field) fields >> skipped;
  double ticks[4] = {};
  for (double& value : ticks) fields >> value;
  if (!fields) Fail("cannot read the scheduler's CPU time");
  return (ticks[0] + ticks[1] + ticks[2] + ticks[3]) * 1000.0 / double(sysconf(_SC_CLK_TCK));
}

double Cores() { return double(sysconf(_SC_NPROCESSORS_ONLN)); }

// The CPU time of this process's children that have ended, in ms.
double EndedChildrenCpuMs() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

struct Figures {
  std::vector<double> ms, sendCpuMs, schedulerCpuMs;  // the CPU times per job
  std::vector<double> againstFloor;  // the time against all the CPU time over the cores
};

// One way of waking every printer: one run over `servers`, or one run per
// server side by side.
struct Way {
  std::string label;
  std::vector<const Server*> servers;
  bool sideBySide = false;
  Figures figures[2];  // submitting alone, --wait

  std::vector<std::vector<std::string>> Commands(bool wait) const {
    std::vector<std::string> base{BRISAKETT_SEND_PATH, "--all"};
    if (wait) base.push_back(kWait);
    std::vector<std::vector<std::string>> commands;
    for (const Server* server : servers) {
      if (sideBySide || commands.empty()) commands.push_back(base);
      commands.back().insert(commands.back().end(), {"-h", server->Address()});
    }
    return commands;
  }
};

// One run of `way`, until every job has printed, each queue checked to
// have had exactly one; `printed` counts the printer's jobs so far.
void RunOnce(Way& way, bool wait, const tools::CaptureServer& printer, std::size_t& printed) {
  std::vector<int> lastJobs;
  double schedulerCpu = 0;
  int jobs = 0;
  for (const Server* server : way.servers) {
    lastJobs.push_back(LastJobId(*server->cupsd));
    schedulerCpu -= SchedulerCpuMs(*server->cupsd);
    jobs += server->queues;
  }
  const double sendCpu = EndedChildrenCpuMs();
  const TimedRun run = RunTimedTogether(way.Commands(wait));
  if (run.exitStatus != 0) Fail(way.label + ": brisakett-send exited with " + std::to_string(run.exitStatus));
  Figures& figures = way.figures[wait ? 1 : 0];
  figures.sendCpuMs.push_back((EndedChildrenCpuMs() - sendCpu) / jobs);
  printed += static_cast<std::size_t>(jobs);
  for (std::size_t i = 0; i < way.servers.size(); ++i) {
    const testing::PrivateCupsd& cupsd = *way.servers[i]->cupsd;
    CheckEveryQueueOnce(cupsd, printer, printed, lastJobs[i], way.servers[i]->queues);
    WaitUntilNoJobActive(cupsd);
    schedulerCpu += SchedulerCpuMs(cupsd);
  }
  figures.ms.push_back(run.Ms());
  figures.schedulerCpuMs.push_back(schedulerCpu / jobs);
  const double floorMs = (figures.sendCpuMs.back() + figures.schedulerCpuMs.back()) * jobs / Cores();
  figures.againstFloor.push_back(run.Ms() / floorMs);
}

// Each round's time of `way` against `reference`'s in the same round.
std::vector<double> Ratios(const Figures& way, const Figures& reference) {
  std::vector<double> ratios;
  for (std::size_t i = 0; i < way.ms.size(); ++i) ratios.push_back(way.ms[i] / reference.ms[i]);
  return ratios;
}

void PrintTimes(int printers, const std::vector<Way>& ways) {
  const Way& oneServer = ways[1];
  const Way& sideBySide = ways[2];
  std::printf("| Waking %d printers | `--all`, until every job was accepted | against one server | against "
              "side by side | `--all %s`, until every job was delivered | against one server | against side "
              "by side |\n|---|---:|---:|---:|---:|---:|---:|\n",
              printers, kWait);
  for (const Way& way : ways) {
    std::printf("| %s |", way.label.c_str());
    for (int wait = 0; wait < 2; ++wait) {
      std::printf(" %s | %s | %s |", MedianAndSpread(way.figures[wait].ms, "%.0f ms").c_str(),
                  MedianAndSpread(Ratios(way.figures[wait], oneServer.figures[wait]), "%.2f").c_str(),
                  MedianAndSpread(Ratios(way.figures[wait], sideBySide.figures[wait]), "%.2f").c_str());
    }
    std::printf("\n");
  }
}

void PrintCpuTimes(int printers, const std::vector<Way>& ways) {
  std::printf("\n| CPU time per job | `--all`: brisakett-send | the schedulers and their backends | floor: "
              "all of it for %d jobs over %.0f cores | the run against its floor | `--all %s`: brisakett-send | "
              "the schedulers and their backends | floor | the run against its floor |\n"
              "|---|---:|---:|---:|---:|---:|---:|---:|---:|\n",
              printers, Cores(), kWait);
  for (const Way& way : ways) {
    std::printf("| %s |", way.label.c_str());
    for (const Figures& figures : way.figures) {
      const double send = Median(figures.sendCpuMs), schedulers = Median(figures.schedulerCpuMs);
      std::printf(" %.2f ms | %.2f ms | %.0f ms | %s |", send, schedulers, (send + schedulers) * printers / Cores(),
                  MedianAndSpread(figures.againstFloor, "%.2f").c_str());
    }
    std::printf("\n");
  }
}

}  // namespace

void PrintServersFigure(const Settings& settings) {
  const int each = settings.serverPrinters / settings.servers;
  const int printers = each * settings.servers;
  if (each < 1) Fail("fewer printers than servers");
  tools::CaptureServer printer;
  std::string why;
  std::vector<Server> servers;  // the site's servers, then one with every printer
  for (int i = 0; i <= settings.servers; ++i) {
    Server& server = servers.emplace_back();
    server.queues = i < settings.servers ? each : printers;
    server.cupsd = testing::PrivateCupsd::Start(&why, {.listenOnTcp = true});
    if (!server.cupsd || !RestartWithQueues(*server.cupsd, server.queues, printer.Port(), &why)) {
      Fail("no private scheduler: " + why);
    }
  }
  std::vector<const Server*> site;
  for (int i = 0; i < settings.servers; ++i) site.push_back(&servers[static_cast<std::size_t>(i)]);
  const std::string n = std::to_string(settings.servers);
  std::vector<Way> ways{
      {"One run, `-h` for each of the " + n + " servers", site, false, {}},
      {"One run, every printer on one server", {&servers.back()}, false, {}},
      {n + " runs side by side, one per server", site, true, {}},
  };

  std::size_t printed = 0;
  for (int round = 0; round < settings.rounds; ++round) {
    for (const bool wait : {false, true}) {
      // Each round starts with another way, so none always runs first.
      for (std::size_t turn = 0; turn < ways.size(); ++turn) {
        RunOnce(ways[(static_cast<std::size_t>(round) + turn) % ways.size()], wait, printer, printed);
      }
    }
  }
  for (const std::string& job : printer.Jobs()) {
    if (job != kWarmUpStream) Fail("a job arrived with other bytes than the warm-up");
  }

  std::printf("\n%d printers over %d print servers (private schedulers, each on a loopback TCP port of its "
              "own with %d raw queues, Bench-0001 to Bench-%04d), against the same %d printers on one; all "
              "print to one capture printer. Each run from the start of its first process to the end of "
              "its last; every queue got exactly one job of the warm-up bytes per run (%zu jobs). %d rounds, "
              "each way in turn; medians (spread), the ratios each round's own.\n\n",
              printers, settings.servers, each, each, printers, printed, settings.rounds);
  PrintTimes(printers, ways);
  PrintCpuTimes(printers, ways);
  // Stopped in the reverse order of their start, each puts back the
  // environment it found.
  while (!servers.empty()) servers.pop_back();
}

}  // namespace brisakett::bench
