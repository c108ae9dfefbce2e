// brisakett-send-many-bench: the concurrency figures of docs/performance.md.
// Starts a capture printer and a private CUPS scheduler with N queues
// (default 200, 0 leaves this table out) all printing to it, and times,
// in turns:
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
// own, all warming up for a few seconds after their first job:
// `brisakett-send --all --wait` until every printer has reported, against
// `brisakett-send --all` submitting alone. Over SNMP, a tenth of them
// answer 2.5 s late (agents of the tests' own) and a tenth not at all,
// the rest share one state told by three snmpd agents; needs root (port
// 161), `--ready-printers 0` leaves it out. Over IPP, three printers of
// the tests' own each stand for a third of them; `--ipp-printers 0` leaves
// it out.
//
// Then jobs waiting in stopped queues, on the plain loopback link and
// behind a relay that adds latency: a following round over N jobs
// (default 300, `--followed-jobs 0` leaves it out) and the cancels of
// `--cancel-on-timeout` over N (default 250, `--cancelled-jobs 0`);
// followed_jobs_figure.h. Last, N printers (default 300,
// `--server-printers 0` leaves it out) over several print servers
// (`--servers`, default 5) from one run, against one server and against
// one run per server side by side; print_servers_figure.h.
//
//   brisakett-send-many-bench [--rounds N] [--queues N] [--ready-printers N] [--ipp-printers N]
//                             [--followed-jobs N] [--cancelled-jobs N] [--server-printers N] [--servers N]

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

#include "bench_queue_name.h"
#include "capture_server.h"
#include "child_process.h"
#include "ipp_printer.h"
#include "private_cupsd.h"
#include "followed_jobs_figure.h"
#include "print_servers_figure.h"
#include "private_snmpd.h"
#include "scheduler_jobs.h"
#include "scheduler_setup.h"
#include "send_many_common.h"
#include "snmp_test_agent.h"
#include "timed_process.h"
#include "warmup_stream.h"

namespace {

using namespace brisakett;
using namespace brisakett::bench;
using namespace std::chrono_literals;

// How long the simulated printers warm up after their first job, in the
// agents' whole seconds, and how often brisakett-send asks them again;
// how late the late ones answer.
constexpr int kWarmUpSeconds = 4;
constexpr double kAskAgainMs = 1000;
constexpr auto kLate = 2500ms;

std::string PrinterAddress(int number) {
  return "127.0." + std::to_string(1 + (number - 1) / 250) + "." + std::to_string(1 + (number - 1) % 250);
}

// One figure's rounds: `--all` submitting alone against `--all --wait`
// until every printer has reported, each checked by `expected` (the
// outcome each printer must end with).
struct ReadyRounds {
  std::vector<double> submitMs, reportedMs, slowestReadyMs, slowestDeliveredMs;
};

ReadyRounds RunReadyRounds(const Settings& settings, const std::function<void()>& rest,
                           const std::function<std::string(const std::string&)>& expected, int count) {
  ReadyRounds rounds;
  for (int round = 0; round < settings.rounds; ++round) {
    rest();
    const bench::TimedRun submit = bench::RunTimed({BRISAKETT_SEND_PATH, "--all"});
    if (submit.exitStatus != 0) Fail("brisakett-send --all exited with " + std::to_string(submit.exitStatus));
    rounds.submitMs.push_back(submit.Ms());
    rest();

    const std::int64_t start = bench::MonotonicNs();
    const testing::SeparateProgramRun run = testing::RunProgramApart(
        {BRISAKETT_SEND_PATH, "--all", "--wait", "--json", "--timeout", "120"});
    rounds.reportedMs.push_back(double(bench::MonotonicNs() - start) / 1e6);
    if (run.exitStatus != 0) {
      Fail("brisakett-send --all --wait exited with " + std::to_string(run.exitStatus) + ": " +
           run.out.substr(0, 400) + run.err);
    }
    std::istringstream lines(run.out);
    int reported = 0;
    double slowestReady = 0, slowestDelivered = 0;
    for (std::string line; std::getline(lines, line);) {
      const nlohmann::json object = nlohmann::json::parse(line);
      if (object["outcome"] != expected(object["name"])) Fail("not " + expected(object["name"]) + ": " + line);
      ++reported;
      slowestDelivered = std::max(slowestDelivered, object["seconds"].get<double>());
      if (object["outcome"] == "ready") {
        slowestReady = std::max(slowestReady, object["ready_seconds"].get<double>());
      }
    }
    if (reported != count) Fail(std::to_string(reported) + " of " + std::to_string(count) + " printers reported");
    rounds.slowestReadyMs.push_back(slowestReady * 1000);
    rounds.slowestDeliveredMs.push_back(slowestDelivered * 1000);
  }
  return rounds;
}

void PrintReadyTable(const std::string& heading, const ReadyRounds& rounds,
                     const std::vector<std::pair<std::string, double>>& floors) {
  const double submit = Median(rounds.submitMs), reported = Median(rounds.reportedMs);
  std::printf("| %s | Time | Against submitting alone |\n|---|---:|---:|\n", heading.c_str());
  std::printf("| `brisakett-send --all`, submitting alone | %.0f ms | 1.00 |\n", submit);
  std::printf("| `brisakett-send --all --wait`, until every printer reported | %.0f ms | %.2f |\n", reported,
              reported / submit);
  std::printf("| its slowest delivery (`seconds`) | %.0f ms | |\n", Median(rounds.slowestDeliveredMs));
  std::printf("| its slowest `ready_seconds` | %.0f ms | |\n", Median(rounds.slowestReadyMs));
  for (const auto& [what, ms] : floors) {
    std::printf("| floor: %s | %.0f ms | %.2f of the run |\n", what.c_str(), ms, ms / reported);
  }
}

// The job reached a printer's capture server: the simulated printers warm up.
using Arrived = std::function<void()>;

std::vector<std::unique_ptr<tools::CaptureServer>> CapturePrinters(int count, const Arrived& arrived) {
  std::vector<std::unique_ptr<tools::CaptureServer>> printers;
  for (int number = 1; number <= count; ++number) {
    printers.push_back(std::make_unique<tools::CaptureServer>(
        9100, [&arrived](std::size_t, const std::string&) { arrived(); }, PrinterAddress(number)));
  }
  return printers;
}

// Every printer woken and followed over SNMP until it has reported,
// against submitting alone: most warming up (snmpd), a tenth late, a
// tenth silent.
void ReadyFigure(const Settings& settings) {
  const int count = settings.readyPrinters, late = count / 10, silent = count / 10;
  const int prompt = count - late - silent;
  std::vector<std::vector<std::string>> agentAddresses(3);
  for (int number = 1; number <= prompt; ++number) {
    agentAddresses[(number - 1) % 3].push_back(PrinterAddress(number));
  }
  std::string why;
  std::vector<std::unique_ptr<testing::PrivateSnmpd>> agents;
  for (const auto& addresses : agentAddresses) {
    agents.push_back(testing::PrivateSnmpd::Start(
        addresses, testing::SimulatedPrinter::WarmsUpAfterJob, &why, {.warmUpSeconds = kWarmUpSeconds}));
    if (!agents.back()) Fail("no snmpd: " + why);
  }
  std::vector<std::unique_ptr<testing::SnmpTestAgent>> lateAgents;
  for (int number = prompt + 1; number <= prompt + late; ++number) {
    lateAgents.push_back(std::make_unique<testing::SnmpTestAgent>(
        PrinterAddress(number), testing::SnmpTestAgent::Printer{.delay = kLate, .warmUp = kWarmUpSeconds * 1s},
        161));
    if (lateAgents.back()->Port() == 0) Fail("no SNMP port 161 on " + PrinterAddress(number));
  }
  const Arrived arrived = [&] {
    for (const auto& agent : agents) agent->JobArrived();
    for (const auto& agent : lateAgents) agent->JobArrived();
  };
  const auto printers = CapturePrinters(count, arrived);
  auto cupsd = testing::PrivateCupsd::Start(&why);
  if (!cupsd || !bench::RestartWithQueues(*cupsd, count, 9100, &why, PrinterAddress)) {
    Fail("no private scheduler: " + why);
  }
  std::map<std::string, std::string> expected;
  for (int number = 1; number <= count; ++number) {
    expected[bench::BenchQueueName(number)] = number > prompt + late ? "delivered" : "ready";
  }
  const ReadyRounds rounds = RunReadyRounds(
      settings,
      [&] {
        WaitUntilNoJobActive(*cupsd);
        for (const auto& agent : agents) agent->Rest();
        for (const auto& agent : lateAgents) agent->Rest();
      },
      [&](const std::string& name) { return expected.at(name); }, count);

  std::printf("\n%d printers on addresses of their own, warming up for %d s from their first job: %d "
              "told by three snmpd agents (in whole seconds), %d by agents of our own that answer %.1f s "
              "late, %d with no agent at all; asked again every %.0f ms; %d rounds, medians. Every "
              "printer reported ready in every round, but the silent ones, delivered.\n\n",
              count, kWarmUpSeconds, prompt, late, std::chrono::duration<double>(kLate).count(), silent,
              kAskAgainMs, settings.rounds);
  // The last late printer is delivered as the submitting ends; its first
  // reading takes two round trips (its row, its values), the second one
  // more an interval later. All warm up from the first job.
  const double lateMs = std::chrono::duration<double, std::milli>(kLate).count();
  PrintReadyTable("Waking " + std::to_string(count) + " printers over SNMP", rounds,
                  {{"warm-up plus one interval", kWarmUpSeconds * 1000 + kAskAgainMs},
                   {"submitting alone, then a late one's row, values, an interval and values again",
                    Median(rounds.submitMs) + 3 * lateMs + kAskAgainMs}});
}

// Every printer woken and followed over IPP until it is ready, against
// submitting alone: three printers of our own, each on a third of the
// addresses and in one state, warming up after their first job.
void IppReadyFigure(const Settings& settings) {
  const int count = settings.ippPrinters;
  constexpr std::uint16_t kPort = 8631;
  std::vector<std::vector<std::string>> addresses(3);
  for (int number = 1; number <= count; ++number) addresses[(number - 1) % 3].push_back(PrinterAddress(number));
  using testing::ScriptedIppPrinter;
  const ScriptedIppPrinter::Behaviour warming{
      .warming = ScriptedIppPrinter::State{3, {"fuser-under-temp-warning"}, "Warming up"},
      .warmUp = kWarmUpSeconds * 1s};
  std::vector<std::unique_ptr<ScriptedIppPrinter>> printers;
  for (const auto& some : addresses) {
    printers.push_back(std::make_unique<ScriptedIppPrinter>(some, warming, kPort));
    if (printers.back()->Port() != kPort) Fail("no IPP port " + std::to_string(kPort) + " on " + some.front());
  }
  std::string why;
  auto cupsd = testing::PrivateCupsd::Start(&why);
  if (!cupsd || !bench::RestartWithQueues(*cupsd, count, kPort, &why, PrinterAddress, "ipp/print")) {
    Fail("no private scheduler: " + why);
  }
  const ReadyRounds rounds = RunReadyRounds(
      settings,
      [&] {
        WaitUntilNoJobActive(*cupsd);
        for (const auto& printer : printers) printer->Rest();
      },
      [](const std::string&) { return std::string("ready"); }, count);

  std::printf("\n%d printers that speak IPP on addresses of their own (three printers of the tests' "
              "own, a third each), warming up for %d s from their first job (fuser-under-temp); the "
              "spooler's ipp backend delivers the jobs; asked again every %.0f ms; %d rounds, medians. "
              "Every printer reported ready in every round.\n\n",
              count, kWarmUpSeconds, kAskAgainMs, settings.rounds);
  PrintReadyTable("Waking " + std::to_string(count) + " printers over IPP", rounds,
                  {{"warm-up plus one interval", kWarmUpSeconds * 1000 + kAskAgainMs}});
}

// Every queue woken by one process, with and without concurrency, against
// one process per queue; every job checked at the printer.
void EveryQueueFigure(const Settings& settings) {
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
}

}  // namespace

int main(int argc, char** argv) {
  Settings settings;
  const std::map<std::string, int*> options{
      {"--rounds", &settings.rounds},
      {"--queues", &settings.queues},
      {"--ready-printers", &settings.readyPrinters},
      {"--ipp-printers", &settings.ippPrinters},
      {"--followed-jobs", &settings.followedJobs},
      {"--cancelled-jobs", &settings.cancelledJobs},
      {"--server-printers", &settings.serverPrinters},
      {"--servers", &settings.servers},
  };
  for (int i = 1; i < argc; i += 2) {
    const auto option = options.find(argv[i]);
    if (option == options.end() || i + 1 == argc) Fail(std::string("unknown option or no value: ") + argv[i]);
    *option->second = std::atoi(argv[i + 1]);
  }
  if (settings.rounds < 1 || settings.servers < 1) Fail("--rounds and --servers must be positive");

  if (settings.queues > 0) EveryQueueFigure(settings);
  if (settings.readyPrinters > 0) ReadyFigure(settings);
  if (settings.ippPrinters > 0) IppReadyFigure(settings);
  if (settings.followedJobs > 0 || settings.cancelledJobs > 0) FollowedJobsFigure(settings);
  if (settings.serverPrinters > 0) PrintServersFigure(settings);
  return 0;
}
