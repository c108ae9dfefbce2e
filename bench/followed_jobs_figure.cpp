#include "followed_jobs_figure.h"

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "child_process.h"
#include "cups/cups_connection.h"
#include "cups/job_listing.h"
#include "ipp_request_count.h"
#include "latency_relay.h"
#include "private_cupsd.h"
#include "scheduler_setup.h"
#include "system_printing.h"

namespace brisakett::bench {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kOneWay = 40ms;
// A run's rounds come 0.25 s after its last job, then twice as far apart
// each time, up to 2 s: the gaps before a follow's first six rounds.
constexpr std::chrono::milliseconds kGaps[] = {250ms, 500ms, 1000ms, 2000ms, 2000ms, 2000ms};
// The time of a cancelling run: enough to submit every job behind the
// slow link on a loaded machine, so that every job is waiting at its end.
constexpr int kCancelRunSeconds = 25;
// brisakett-send cancels on this many connections at once.
constexpr int kCancelConnections = 8;
// cupsd logs a request only after it has answered it: a moment for that.
constexpr auto kLogged = 100ms;

struct Link {
  std::string label;
  std::string server;  // as -h takes it
};

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The operations logged from `from` on, those named `left` out.
std::vector<std::string> LoggedSince(const std::string& accessLog, std::size_t from, const std::string& left = {}) {
  std::vector<std::string> since;
  const std::vector<std::string> all = LoggedOperations(accessLog);
  for (std::size_t i = from; i < all.size(); ++i) {
    if (all[i] != left) since.push_back(all[i]);
  }
  return since;
}

std::size_t Count(const std::vector<std::string>& operations, const std::string& name) {
  return static_cast<std::size_t>(std::count(operations.begin(), operations.end(), name));
}

// What one request costs on the link, the unit of the figures that hold
// under load: the median of five CUPS-Get-Default, each a request and its
// answer, on a connection kept open as the run keeps its own.
double RoundTripMs(const std::string& server) {
  SpoolerLogin login;
  login.server = server;
  Deadline patience(kServerPatience);
  CupsConnection connection(patience, login);
  std::vector<double> ms;
  for (int i = 0; i < 5; ++i) {
    patience = Deadline(kServerPatience);
    connection.Use(patience);
    const Clock::time_point start = Clock::now();
    ipp_t* answer = connection.Connected() ? connection.Exchange(ippNewRequest(IPP_OP_CUPS_GET_DEFAULT), "/") : nullptr;
    if (!answer) Fail("no answer to CUPS-Get-Default over " + server);
    ippDelete(answer);
    ms.push_back(MsSince(start));
  }
  return Median(ms);
}

// Empty when every look says what a job in a stopped queue is: waiting,
// because its queue is stopped; otherwise the first that does not.
std::string Untrue(const std::vector<SpoolerAnswer<JobLook>>& looks, std::size_t jobs) {
  if (looks.size() != jobs) return std::to_string(looks.size()) + " looks for " + std::to_string(jobs) + " jobs";
  for (const SpoolerAnswer<JobLook>& look : looks) {
    if (!look.Answered()) return look.reason;
    if (look.value.state != JobLook::State::Waiting || look.value.reason.rfind("queue stopped", 0) != 0) {
      return look.value.reason;
    }
  }
  return {};
}

// The two lists a round needs, the user's jobs not ended and the queues,
// asked alone on a connection kept open (its deadline `patience`): the
// least a round can take.
double TimeTheListsAlone(CupsConnection& connection, Deadline& patience, std::size_t jobs) {
  patience = Deadline(kServerPatience);
  connection.Use(patience);
  const Clock::time_point start = Clock::now();
  const auto listed = ListJobs(connection, false);
  const auto queues = ListQueues(connection);
  const double ms = MsSince(start);
  if (!listed.Answered() || listed.value.size() != jobs || !queues.Answered()) {
    Fail("the two lists alone did not list the " + std::to_string(jobs) + " jobs over " + connection.ServerName());
  }
  return ms;
}

struct RoundFigures {
  std::vector<double> roundTripMs, roundMs, listsMs, ratios, roundTrips, notificationsPerSecond;
  std::map<std::string, int> requests;  // a round's requests, described, and in how many rounds
  int untrue = 0;                       // rounds in which a job was not told waiting
  std::string firstUntrue;
};

// One run's following of `jobs` over `link`: its first rounds, spaced as a
// run spaces them, each followed by the two lists a round needs asked
// alone, on a connection of their own.
void FollowOnce(const Link& link, const std::vector<WatchedJob>& jobs, const std::string& accessLog,
                RoundFigures& figures) {
  SpoolerLogin login;
  login.server = link.server;
  const std::unique_ptr<JobWatcher> watcher = MakeSystemJobWatcher(login);
  Deadline patience(kServerPatience);
  CupsConnection lists(patience, login);
  if (!lists.Connected()) Fail("no connection to " + link.server);
  const double roundTripMs = RoundTripMs(link.server);
  figures.roundTripMs.push_back(roundTripMs);

  std::this_thread::sleep_for(kLogged);
  const std::size_t before = LoggedOperations(accessLog).size();
  const Clock::time_point began = Clock::now();
  {
    Deadline start(kServerPatience);
    const std::unique_ptr<JobFollower> follower = watcher->Follow(60s, start);
    Clock::time_point ended = Clock::now();
    for (const auto gap : kGaps) {
      std::this_thread::sleep_until(ended + gap);
      const std::size_t from = LoggedOperations(accessLog).size();
      const Clock::time_point round = Clock::now();
      Deadline deadline(kServerPatience);
      const std::vector<SpoolerAnswer<JobLook>> looks = follower->Look(jobs, deadline);
      const double roundMs = MsSince(round);
      ended = Clock::now();
      if (const std::string untrue = Untrue(looks, jobs.size()); !untrue.empty()) {
        if (figures.untrue++ == 0) figures.firstUntrue = untrue;
      }
      std::this_thread::sleep_for(kLogged);
      ++figures.requests[DescribeOperations(LoggedSince(accessLog, from, "Get-Notifications"))];

      const double listsMs = TimeTheListsAlone(lists, patience, jobs.size());
      figures.roundMs.push_back(roundMs);
      figures.listsMs.push_back(listsMs);
      figures.ratios.push_back(roundMs / listsMs);
      figures.roundTrips.push_back(roundMs / roundTripMs);
    }
  }
  std::this_thread::sleep_for(kLogged);
  const double seconds = MsSince(began) / 1000;
  figures.notificationsPerSecond.push_back(
      double(Count(LoggedSince(accessLog, before), "Get-Notifications")) / seconds);
}

struct CancelFigures {
  std::vector<double> roundTripMs, pastTheEndMs, roundTrips, reportedCancelled, listedCancelled, cancelRequests;
  std::string notCancelled;  // the reason of one job not cancelled, if any
  std::string requests;      // the last run's requests, described
};

// Removes every job, history and all, so that each run starts alike and
// the scheduler's 500 jobs are never reached.
void PurgeJobs(const testing::PrivateCupsd& cupsd) {
  const testing::ProgramRun purged =
      testing::RunProgram({testing::FindProgram("cancel"), "-h", cupsd.SocketPath(), "-a", "-x"});
  if (purged.exitStatus != 0) Fail("cancel -a -x: " + purged.output);
  const auto deadline = Clock::now() + 30s;
  while (!cupsd.Jobs().empty()) {
    if (Clock::now() > deadline) Fail("the scheduler kept its jobs after cancel -a -x");
    std::this_thread::sleep_for(100ms);
  }
}

// One `brisakett-send --cancel-on-timeout` run over `names`, every job
// waiting in its stopped queue when its time runs out.
void CancelOnce(const Link& link, const std::vector<std::string>& names, const testing::PrivateCupsd& cupsd,
                CancelFigures& figures) {
  PurgeJobs(cupsd);
  const double roundTripMs = RoundTripMs(link.server);
  std::this_thread::sleep_for(kLogged);
  const std::string accessLog = cupsd.Folder() + "/log/access_log";
  const std::size_t from = LoggedOperations(accessLog).size();
  std::vector<std::string> argv{BRISAKETT_SEND_PATH, "--json", "-h", link.server, "--timeout",
                                std::to_string(kCancelRunSeconds), "--cancel-on-timeout"};
  argv.insert(argv.end(), names.begin(), names.end());
  const Clock::time_point start = Clock::now();
  const testing::SeparateProgramRun run = testing::RunProgramApart(argv, kCancelRunSeconds + 60);
  const double ms = MsSince(start);
  if (run.exitStatus != 5) {
    Fail("brisakett-send --cancel-on-timeout exited with " + std::to_string(run.exitStatus) + ": " +
         run.out.substr(0, 400) + run.err);
  }
  std::istringstream lines(run.out);
  int reported = 0, cancelled = 0;
  for (std::string line; std::getline(lines, line);) {
    const nlohmann::json object = nlohmann::json::parse(line);
    if (object["outcome"] != "still-waiting") Fail("not still-waiting: " + line);
    ++reported;
    if (object["cancelled"].get<bool>()) {
      ++cancelled;
    } else if (figures.notCancelled.empty()) {
      figures.notCancelled = object["reason"].get<std::string>();
    }
  }
  if (reported != static_cast<int>(names.size())) Fail(std::to_string(reported) + " printers reported");
  int listed = 0;
  for (const testing::SpooledJob& job : cupsd.Jobs()) listed += job.state == "canceled";
  std::this_thread::sleep_for(kLogged);
  const std::vector<std::string> operations = LoggedSince(accessLog, from);
  figures.roundTripMs.push_back(roundTripMs);
  figures.pastTheEndMs.push_back(ms - kCancelRunSeconds * 1000.0);
  figures.roundTrips.push_back(figures.pastTheEndMs.back() / roundTripMs);
  figures.reportedCancelled.push_back(cancelled);
  figures.listedCancelled.push_back(listed);
  figures.cancelRequests.push_back(double(Count(operations, "Cancel-Job")));
  figures.requests = DescribeOperations(operations);
}

std::string Cell(const std::vector<double>& values, const char* format) {
  return values.empty() ? "-" : MedianAndSpread(values, format);
}

void PrintRoundTable(int jobs, const std::vector<Link>& links, const std::vector<RoundFigures>& figures,
                     int follows) {
  std::printf("\n%d jobs waiting in %d stopped queues, followed as a run follows them (`JobFollower::Look` "
              "over all of them on the run's connection, its event listener reading beside it), its first "
              "%zu rounds spaced as a run spaces them (0.25 s, doubling to 2 s); after each round the two "
              "lists a round needs (Get-Jobs, CUPS-Get-Printers) asked alone on a connection of their own; "
              "%d follows on each link, medians (spread over every round).\n\n",
              jobs, jobs, std::size(kGaps), follows);
  std::printf("| Following %d jobs |", jobs);
  for (const Link& link : links) std::printf(" %s |", link.label.c_str());
  std::printf("\n|---|");
  for (std::size_t i = 0; i < links.size(); ++i) std::printf("---:|");
  const auto row = [&](const char* what, auto cell) {
    std::printf("\n| %s |", what);
    for (const RoundFigures& each : figures) std::printf(" %s |", cell(each).c_str());
  };
  row("One request on the link (CUPS-Get-Default)", [](const RoundFigures& f) { return Cell(f.roundTripMs, "%.1f ms"); });
  row("A round", [](const RoundFigures& f) { return Cell(f.roundMs, "%.1f ms"); });
  row("A round, in requests on the link (each round's own)", [](const RoundFigures& f) { return Cell(f.roundTrips, "%.1f"); });
  row("Its two lists alone (floor)", [](const RoundFigures& f) { return Cell(f.listsMs, "%.1f ms"); });
  row("A round against its two lists alone (each round's own ratio)",
      [](const RoundFigures& f) { return Cell(f.ratios, "%.2f"); });
  row("Requests in a round", [](const RoundFigures& f) {
    std::string text;
    for (const auto& [described, rounds] : f.requests) {
      text += (text.empty() ? "" : "; ") + described + " (" + std::to_string(rounds) + " rounds)";
    }
    return text;
  });
  row("Get-Notifications a second, the event listener's, beside the rounds",
      [](const RoundFigures& f) { return Cell(f.notificationsPerSecond, "%.1f"); });
  row("Rounds in which a job was not told waiting in its stopped queue", [](const RoundFigures& f) {
    return std::to_string(f.untrue) + (f.untrue ? ": " + f.firstUntrue : "");
  });
  std::printf("\n");
  if (figures.size() == 2) {
    std::printf("\n%s against %s: a round %.2f, its two lists alone %.2f (medians).\n", links[1].label.c_str(),
                links[0].label.c_str(), Median(figures[1].roundMs) / Median(figures[0].roundMs),
                Median(figures[1].listsMs) / Median(figures[0].listsMs));
  }
}

void PrintCancelTable(int jobs, const std::vector<Link>& links, const std::vector<CancelFigures>& figures,
                      int runs) {
  std::printf("\n`brisakett-send --json --timeout %d --cancel-on-timeout` naming %d stopped queues, every "
              "job still waiting when its time runs out; %d runs on each link, medians (spread).\n\n",
              kCancelRunSeconds, jobs, runs);
  std::printf("| Cancelling %d jobs at the time-out |", jobs);
  for (const Link& link : links) std::printf(" %s |", link.label.c_str());
  std::printf("\n|---|");
  for (std::size_t i = 0; i < links.size(); ++i) std::printf("---:|");
  const auto row = [&](const char* what, auto cell) {
    std::printf("\n| %s |", what);
    for (const CancelFigures& each : figures) std::printf(" %s |", cell(each).c_str());
  };
  row("One request on the link (CUPS-Get-Default)", [](const CancelFigures& f) { return Cell(f.roundTripMs, "%.1f ms"); });
  row("From the end of its time to its end", [](const CancelFigures& f) { return Cell(f.pastTheEndMs, "%.0f ms"); });
  row("The same in requests on the link (each run's own)", [](const CancelFigures& f) { return Cell(f.roundTrips, "%.1f"); });
  row("Floor: the cancels in turn on each connection, and the connect, in requests on the link",
      [jobs](const CancelFigures&) { return std::to_string((jobs + kCancelConnections - 1) / kCancelConnections + 1); });
  row("Jobs it reports cancelled", [](const CancelFigures& f) { return Cell(f.reportedCancelled, "%.0f"); });
  row("Jobs the scheduler lists cancelled", [](const CancelFigures& f) { return Cell(f.listedCancelled, "%.0f"); });
  row("Cancel-Job requests", [](const CancelFigures& f) { return Cell(f.cancelRequests, "%.0f"); });
  std::printf("\n\n");
  for (std::size_t i = 0; i < links.size(); ++i) {
    std::printf("%s, the last run's requests: %s.%s\n", links[i].label.c_str(), figures[i].requests.c_str(),
                figures[i].notCancelled.empty() ? "" : (" A job not cancelled: " + figures[i].notCancelled).c_str());
  }
}

}  // namespace

void FollowedJobsFigure(const Settings& settings) {
  const int queues = std::max(settings.followedJobs, settings.cancelledJobs);
  std::vector<std::string> names;
  for (int number = 1; number <= queues; ++number) names.push_back(BenchQueueName(number));
  std::string why;
  auto cupsd = testing::PrivateCupsd::Start(&why, {.listenOnTcp = true});
  if (!cupsd || !cupsd->AddQueues(names, "socket://127.0.0.1:9", true, &why) ||
      !RestartLikeAnInstalledScheduler(*cupsd, &why)) {
    Fail("no private scheduler: " + why);
  }
  const testing::LatencyRelay relay(cupsd->TcpPort(), kOneWay);
  if (relay.Port() == 0) Fail("no latency relay");
  const std::vector<Link> links{
      {"Plain loopback", "127.0.0.1:" + std::to_string(cupsd->TcpPort())},
      {"Behind a relay of " + std::to_string(kOneWay.count()) + " ms each way", "127.0.0.1:" + std::to_string(relay.Port())}};
  const std::string accessLog = cupsd->Folder() + "/log/access_log";

  if (settings.followedJobs > 0) {
    std::vector<std::string> argv{BRISAKETT_SEND_PATH, "-h", links[0].server};
    argv.insert(argv.end(), names.begin(), names.begin() + settings.followedJobs);
    const testing::SeparateProgramRun sent = testing::RunProgramApart(argv, 300);
    if (sent.exitStatus != 0) Fail("brisakett-send exited with " + std::to_string(sent.exitStatus) + ": " + sent.err);
    std::vector<WatchedJob> jobs;
    for (const testing::SpooledJob& job : cupsd->Jobs()) {
      if (job.state == "pending") jobs.push_back({job.queue, job.id});
    }
    if (jobs.size() != static_cast<std::size_t>(settings.followedJobs)) {
      Fail(std::to_string(jobs.size()) + " jobs pending, not " + std::to_string(settings.followedJobs));
    }
    std::vector<RoundFigures> figures(links.size());
    for (int round = 0; round < settings.rounds; ++round) {
      for (std::size_t turn = 0; turn < links.size(); ++turn) {
        const std::size_t i = (round + turn) % links.size();
        FollowOnce(links[i], jobs, accessLog, figures[i]);
      }
    }
    PrintRoundTable(settings.followedJobs, links, figures, settings.rounds);
  }

  if (settings.cancelledJobs > 0) {
    const std::vector<std::string> cancelled(names.begin(), names.begin() + settings.cancelledJobs);
    std::vector<CancelFigures> figures(links.size());
    for (int round = 0; round < settings.rounds; ++round) {
      for (std::size_t turn = 0; turn < links.size(); ++turn) {
        const std::size_t i = (round + turn) % links.size();
        CancelOnce(links[i], cancelled, *cupsd, figures[i]);
      }
    }
    PrintCancelTable(settings.cancelledJobs, links, figures, settings.rounds);
  }
}

}  // namespace brisakett::bench
