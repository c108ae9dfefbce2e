// brisakett-send-many-bench: the concurrency figure of docs/performance.md.
// Starts a capture printer and a private CUPS scheduler with N queues
// (default 200) all printing to it, and times, in turns:
//  - one `brisakett-send --all --jobs 8` process waking every queue;
//  - one `brisakett-send --all --jobs 1` process, the same run without
//    concurrency, to tell the two savings apart;
//  - N `brisakett-send QUEUE` processes one after the other, as a script
//    looping over the printers does.
// After each run it waits until the capture printer has every job and
// checks that each queue got exactly one job of the warm-up bytes. Prints
// one Markdown table of medians.
//
// Then, with N printers (default 300) each on a loopback address of its
// own, all warming up for a few seconds after their first job (one shared
// state, told by three snmpd agents that each answer for a third of the
// addresses): `brisakett-send --all --wait` until every printer reports
// ready, against `brisakett-send --all` submitting alone. Needs root (SNMP
// port 161); `--ready-printers 0` leaves it out.
//
//   brisakett-send-many-bench [--rounds N] [--queues N] [--ready-printers N]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <cups/cups.h>
#include <nlohmann/json.hpp>

#include <memory>
#include <sstream>
#include <thread>

#include "capture_server.h"
#include "child_process.h"
#include "private_cupsd.h"
#include "private_snmpd.h"
#include "scheduler_setup.h"
#include "timed_process.h"
#include "warmup_stream.h"

namespace {

using namespace brisakett;
using namespace std::chrono_literals;

struct Settings {
  int rounds = 5;
  int queues = 200;
  int readyPrinters = 300;
};

// How long the simulated printers warm up after their first job, in the
// agents' whole seconds, and how often brisakett-send asks them again.
constexpr int kWarmUpSeconds = 4;
constexpr double kAskAgainMs = 1000;

// Whether the scheduler has no job left that is not completed. It lists
// 500 jobs at most, so with more a round's jobs cannot be counted done;
// none left active says the same.
bool NoJobActive(const testing::PrivateCupsd& cupsd) {
  http_t* http = httpConnect2(cupsd.SocketPath().c_str(), 0, nullptr, AF_UNSPEC,
                              HTTP_ENCRYPTION_IF_REQUESTED, 1, 5000, nullptr);
  if (!http) return false;
  ipp_t* request = ippNewRequest(IPP_OP_GET_JOBS);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, "ipp://localhost/");
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "not-completed");
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "job-id");
  ipp_t* response = cupsDoRequest(http, request, "/");
  const bool none = response && cupsLastError() <= IPP_STATUS_OK_CONFLICTING &&
                    !ippFindAttribute(response, "job-id", IPP_TAG_INTEGER);
  ippDelete(response);
  httpClose(http);
  return none;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

[[noreturn]] void Fail(const std::string& why) {
  std::fprintf(stderr, "brisakett-send-many-bench: %s\n", why.c_str());
  std::exit(1);
}

// Waits for the capture printer to have `total` jobs, then checks that the
// scheduler's jobs numbered after `lastJobBefore` are one per queue.
void CheckEveryQueueOnce(const testing::PrivateCupsd& cupsd, const tools::CaptureServer& printer,
                         std::size_t total, int lastJobBefore, int queues) {
  if (!printer.WaitForJobs(total, 600s)) {
    Fail("the printer received " + std::to_string(printer.Jobs().size()) + " of " +
         std::to_string(total) + " jobs");
  }
  std::map<std::string, int> perQueue;
  for (const testing::SpooledJob& job : cupsd.Jobs()) {
    if (job.id > lastJobBefore) ++perQueue[job.queue];
  }
  if (perQueue.size() != static_cast<std::size_t>(queues)) {
    Fail(std::to_string(perQueue.size()) + " queues got a job, not " + std::to_string(queues));
  }
  for (const auto& [queue, count] : perQueue) {
    if (count != 1) Fail(queue + " got " + std::to_string(count) + " jobs");
  }
}

int LastJobId(const testing::PrivateCupsd& cupsd) {
  int last = 0;
  for (const testing::SpooledJob& job : cupsd.Jobs()) last = std::max(last, job.id);
  return last;
}

std::string PrinterAddress(int number) {
  return "127.0." + std::to_string(1 + (number - 1) / 250) + "." + std::to_string(1 + (number - 1) % 250);
}

// Every printer woken and followed to "ready" against submitting alone.
void ReadyFigure(const Settings& settings) {
  const int count = settings.readyPrinters;
  std::vector<std::vector<std::string>> agentAddresses(3);
  for (int number = 1; number <= count; ++number) {
    agentAddresses[(number - 1) % 3].push_back(PrinterAddress(number));
  }
  std::string why;
  std::vector<std::unique_ptr<testing::PrivateSnmpd>> agents;
  for (const auto& addresses : agentAddresses) {
    agents.push_back(testing::PrivateSnmpd::Start(
        addresses, testing::SimulatedPrinter::WarmsUpAfterJob, &why, {.warmUpSeconds = kWarmUpSeconds}));
    if (!agents.back()) Fail("no snmpd: " + why);
  }
  constexpr std::uint16_t kPort = 9100;
  std::vector<std::unique_ptr<tools::CaptureServer>> printers;
  for (int number = 1; number <= count; ++number) {
    printers.push_back(std::make_unique<tools::CaptureServer>(
        kPort,
        [&agents](std::size_t, const std::string&) {
          for (const auto& agent : agents) agent->JobArrived();
        },
        PrinterAddress(number)));
  }
  auto cupsd = testing::PrivateCupsd::Start(&why);
  if (!cupsd || !bench::RestartWithQueues(*cupsd, count, kPort, &why, PrinterAddress)) {
    Fail("no private scheduler: " + why);
  }
  const auto rest = [&] {
    const auto deadline = std::chrono::steady_clock::now() + 600s;
    while (!NoJobActive(*cupsd)) {
      if (std::chrono::steady_clock::now() > deadline) Fail("the jobs did not all complete");
      std::this_thread::sleep_for(100ms);
    }
    for (const auto& agent : agents) agent->Rest();
  };

  std::vector<double> submitMs, readyMs, slowestReady;
  for (int round = 0; round < settings.rounds; ++round) {
    rest();
    const bench::TimedRun submit = bench::RunTimed({BRISAKETT_SEND_PATH, "--all"});
    if (submit.exitStatus != 0) Fail("brisakett-send --all exited with " + std::to_string(submit.exitStatus));
    submitMs.push_back(submit.Ms());
    rest();

    const std::int64_t start = bench::MonotonicNs();
    const testing::SeparateProgramRun run = testing::RunProgramApart(
        {BRISAKETT_SEND_PATH, "--all", "--wait", "--json", "--timeout", "120"});
    readyMs.push_back(double(bench::MonotonicNs() - start) / 1e6);
    if (run.exitStatus != 0) Fail("brisakett-send --all --wait exited with " + std::to_string(run.exitStatus) + ": " + run.out.substr(0, 400) + run.err);
    std::istringstream lines(run.out);
    int ready = 0;
    double slowest = 0;
    for (std::string line; std::getline(lines, line);) {
      const nlohmann::json object = nlohmann::json::parse(line);
      if (object["outcome"] != "ready") Fail("not ready: " + line);
      ++ready;
      slowest = std::max(slowest, object["ready_seconds"].get<double>());
    }
    if (ready != count) Fail(std::to_string(ready) + " of " + std::to_string(count) + " printers reported");
    slowestReady.push_back(slowest * 1000);
  }

  std::printf("\n%d printers on addresses of their own, warming up for %d s (counted in the "
              "agents' whole seconds) from their first job, three snmpd agents; asked again every "
              "%.0f ms; %d rounds, medians. Every printer reported ready in every round.\n\n",
              count, kWarmUpSeconds, kAskAgainMs, settings.rounds);
  std::printf("| Waking %d printers | Time |\n|---|---:|\n", count);
  std::printf("| `brisakett-send --all`, submitting alone | %.0f ms |\n", Median(submitMs));
  std::printf("| `brisakett-send --all --wait`, until all ready | %.0f ms |\n", Median(readyMs));
  std::printf("| its slowest `ready_seconds` | %.0f ms |\n", Median(slowestReady));
  std::printf("| floor: warm-up plus one interval | %.0f ms |\n", kWarmUpSeconds * 1000 + kAskAgainMs);
}

}  // namespace

int main(int argc, char** argv) {
  Settings settings;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--rounds") == 0) settings.rounds = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--queues") == 0) settings.queues = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--ready-printers") == 0) settings.readyPrinters = std::atoi(argv[i + 1]);
  }
  if (settings.rounds < 1 || settings.queues < 1) Fail("--rounds and --queues must be positive");

  tools::CaptureServer printer;
  std::string why;
  auto cupsd = testing::PrivateCupsd::Start(&why);
  if (!cupsd || !bench::RestartWithQueues(*cupsd, settings.queues, printer.Port(), &why)) {
    Fail("no private scheduler: " + why);
  }

  const std::string send = BRISAKETT_SEND_PATH;
  std::vector<std::string> names;
  for (int number = 1; number <= settings.queues; ++number) {
    names.push_back(bench::BenchQueueName(number));
  }
  const auto wholeProcess = [&](std::vector<std::string> argv) {
    return [&send, argv = std::move(argv)] {
      std::vector<std::string> command{send};
      command.insert(command.end(), argv.begin(), argv.end());
      const bench::TimedRun run = bench::RunTimed(command);
      if (run.exitStatus != 0) Fail("brisakett-send exited with " + std::to_string(run.exitStatus));
      return run.Ms();
    };
  };
  struct Contender {
    std::string label;
    std::function<double()> run;
    std::vector<double> ms;
  };
  std::vector<Contender> contenders{
      {"`brisakett-send --all --jobs 8`, one process", wholeProcess({"--all", "--jobs", "8"}), {}},
      {"`brisakett-send --all --jobs 1`, one process", wholeProcess({"--all", "--jobs", "1"}), {}},
      {"`brisakett-send QUEUE` for each queue in turn",
       [&] {
         double total = 0;
         for (const std::string& name : names) total += wholeProcess({name})();
         return total;
       },
       {}},
  };

  std::size_t printed = 0;
  for (int round = 0; round < settings.rounds; ++round) {
    // Each round starts with another contender, so none always runs first.
    for (std::size_t turn = 0; turn < contenders.size(); ++turn) {
      Contender& contender = contenders[(round + turn) % contenders.size()];
      const int lastJob = LastJobId(*cupsd);
      contender.ms.push_back(contender.run());
      printed += names.size();
      CheckEveryQueueOnce(*cupsd, printer, printed, lastJob, settings.queues);
    }
  }
  for (const std::string& job : printer.Jobs()) {
    if (job != kWarmUpStream) Fail("a job arrived with other bytes than the warm-up");
  }

  std::printf("%d queues, %d rounds; every figure the median, from the start of the first "
              "process to the end of the last, until every job was accepted.\n"
              "Every queue got exactly one job of the warm-up bytes per run (%zu jobs).\n\n",
              settings.queues, settings.rounds, printed);
  std::printf("| Waking every queue | Time | Against one call per queue |\n|---|---:|---:|\n");
  const double sequential = Median(contenders.back().ms);
  for (const Contender& contender : contenders) {
    const double ms = Median(contender.ms);
    std::printf("| %s | %.0f ms | %.2f |\n", contender.label.c_str(), ms, ms / sequential);
  }
  if (settings.readyPrinters > 0) ReadyFigure(settings);
  return 0;
}
