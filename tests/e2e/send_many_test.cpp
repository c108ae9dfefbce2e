// brisakett-send over several printers, run as a real process against a
// private scheduler whose queues print to capture printers: --all, --wait,
// --json, and the timer's service line as the package installs it.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "ipp_printer.h"
#include "printing_setup.h"
#include "send_report.h"
#include "private_snmpd.h"
#include "snmp_test_agent.h"
#include "require_scheduler.h"
#include "temp_folder.h"
#include "warmup_stream.h"

namespace brisakett {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using testing::SpooledJob;

// `meanwhile` runs with the program's process id while it works; a run
// that hangs is killed after 90 s, so that it fails the test.
testing::SeparateProgramRun Send(std::vector<std::string> arguments,
                                 const std::function<void(pid_t)>& meanwhile = {}) {
  arguments.insert(arguments.begin(), BRISAKETT_SEND_PATH);
  return testing::RunProgramApart(arguments, 90, meanwhile);
}

// The text lines by printer name; each printer's line has its five fields.
std::map<std::string, std::vector<std::string>> LinesByName(const std::string& out) {
  auto lines = testing::LinesByName(out);
  for (const auto& [name, fields] : lines) {
    if (name != "summary") EXPECT_EQ(fields.size(), 5u) << name;
  }
  return lines;
}

std::map<std::string, nlohmann::json> JsonByName(const std::string& out) {
  std::map<std::string, nlohmann::json> objects;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    const nlohmann::json object = nlohmann::json::parse(line);
    objects[object.at("name")] = object;
  }
  return objects;
}

std::map<int, SpooledJob> JobsById(const testing::PrivateCupsd& cupsd) {
  std::map<int, SpooledJob> jobs;
  for (const SpooledJob& job : cupsd.Jobs()) jobs[job.id] = job;
  return jobs;
}

TEST(SendMany, AllWakesEveryQueueOnceAndReportsTheRest) {
  auto setup = testing::StartPrinting({"Alpha", "Beta", "Gamma", "Closed", "Halted"}, "Alpha",
                                      {"Closed"});
  REQUIRE_SCHEDULER(*setup);
  ASSERT_TRUE(setup->cupsd->Disable("Halted"));
  // An instance is the same queue again: --all must not wake Alpha twice.
  testing::WriteFile(setup->cupsd->UserHome() + "/.cups/lpoptions", "Dest Alpha/Entwurf\n",
                     std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

  const testing::SeparateProgramRun run = Send({"--all"});
  EXPECT_EQ(run.exitStatus, 1) << run.err;  // refused is the worst outcome
  auto lines = LinesByName(run.out);
  EXPECT_EQ(lines.size(), 6u) << run.out;
  for (const char* queue : {"Alpha", "Beta", "Gamma", "Halted"}) {
    EXPECT_EQ(lines[queue][1], "sent") << queue;
  }
  EXPECT_EQ(lines["Closed"][1], "refused");
  EXPECT_THAT(lines["Closed"][4], HasSubstr("not accepting jobs"));
  EXPECT_EQ(lines["summary"][0], "summary: 5 printers, 4 sent, 1 refused");

  for (const char* queue : {"Alpha", "Beta", "Gamma"}) {
    EXPECT_TRUE(setup->Printer(queue).WaitForJobs(1, 30s)) << queue;
  }
  std::this_thread::sleep_for(500ms);  // a second job would have arrived by now
  for (const char* queue : {"Alpha", "Beta", "Gamma"}) {
    EXPECT_THAT(setup->Printer(queue).Jobs(), ::testing::ElementsAre(std::string(kWarmUpStream)))
        << queue;
  }
  EXPECT_TRUE(setup->Printer("Halted").Jobs().empty());
  const auto jobs = JobsById(*setup->cupsd);
  EXPECT_EQ(jobs.size(), 4u);
  EXPECT_EQ(jobs.at(std::stoi(lines["Halted"][2])).state, "pending");

  // Named printers: an unknown name is reported and skipped, the others go.
  const testing::SeparateProgramRun named = Send({"--json", "Beta", "Nope", "Closed"});
  EXPECT_EQ(named.exitStatus, 1);
  auto objects = JsonByName(named.out);
  ASSERT_EQ(objects.size(), 3u) << named.out;
  EXPECT_EQ(objects["Beta"]["outcome"], "sent");
  EXPECT_EQ(objects["Nope"]["outcome"], "not-recognized");
  EXPECT_EQ(objects["Nope"]["job_id"], nullptr);
  EXPECT_EQ(objects["Closed"]["outcome"], "refused");
  EXPECT_EQ(objects["Closed"]["reason"], lines["Closed"][4]);
  EXPECT_TRUE(setup->Printer("Beta").WaitForJobs(2, 30s));
}

TEST(SendMany, WaitFollowsEachJobToThePrinterOrSaysWhyNot) {
  auto setup = testing::StartPrinting({"Ready", "Refusing", "Halted", "Failing"}, "Ready");
  REQUIRE_SCHEDULER(*setup);
  setup->Printer("Refusing").Refuse();  // switched off
  ASSERT_TRUE(setup->cupsd->Disable("Halted"));
  // A printer that is off, whose backend gives up after its first retry
  // (about 6 s) and whose queue then aborts the job.
  setup->Printer("Failing").Refuse();
  const testing::ProgramRun failing = testing::RunProgram(
      {testing::FindProgram("lpadmin"), "-h", setup->cupsd->SocketPath(), "-p", "Failing", "-v",
       "socket://127.0.0.1:" + std::to_string(setup->Printer("Failing").Port()) + "/?contimeout=1",
       "-o", "printer-error-policy=abort-job"});
  ASSERT_EQ(failing.exitStatus, 0) << failing.output;

  const testing::SeparateProgramRun run =
      Send({"--wait=20", "Ready", "Refusing", "Halted", "Failing"});
  EXPECT_EQ(run.exitStatus, 6) << run.out << run.err;
  auto lines = LinesByName(run.out);
  EXPECT_EQ(lines["Failing"][1], "failed-at-printer");
  EXPECT_THAT(lines["Failing"][4], StartsWith("aborted"));
  EXPECT_EQ(lines["Ready"][1], "delivered");
  EXPECT_EQ(lines["Refusing"][1], "still-waiting");
  // The socket backend's own words for a printer that refuses connections.
  EXPECT_THAT(lines["Refusing"][4], ::testing::MatchesRegex("sending to the printer: .+"));
  EXPECT_EQ(lines["Halted"][1], "still-waiting");
  EXPECT_THAT(lines["Halted"][4], StartsWith("queue stopped"));
  EXPECT_EQ(lines["summary"][0],
            "summary: 4 printers, 1 delivered, 2 still-waiting, 1 failed-at-printer");
  EXPECT_EQ(setup->Printer("Ready").Jobs().size(), 1u);
  // Left queued: each prints once its printer or queue is back.
  auto jobs = JobsById(*setup->cupsd);
  EXPECT_EQ(jobs.at(std::stoi(lines["Refusing"][2])).state, "processing");
  EXPECT_EQ(jobs.at(std::stoi(lines["Halted"][2])).state, "pending");

  const testing::SeparateProgramRun json =
      Send({"--json", "--wait=5", "--cancel-on-timeout", "Ready", "Refusing", "Halted"});
  EXPECT_EQ(json.exitStatus, 5) << json.out << json.err;
  auto objects = JsonByName(json.out);
  ASSERT_EQ(objects.size(), 3u) << json.out;
  EXPECT_EQ(objects["Ready"]["outcome"], "delivered");
  EXPECT_EQ(objects["Ready"]["cancelled"], false);
  jobs = JobsById(*setup->cupsd);
  for (const char* queue : {"Refusing", "Halted"}) {
    SCOPED_TRACE(queue);
    EXPECT_EQ(objects[queue]["outcome"], "still-waiting");
    EXPECT_EQ(objects[queue]["cancelled"], true);
    EXPECT_EQ(jobs.at(objects[queue]["job_id"].get<int>()).state, "canceled");
  }
  EXPECT_THAT(objects["Halted"]["reason"].get<std::string>(), StartsWith("queue stopped"));
  EXPECT_EQ(setup->Printer("Ready").Jobs().size(), 2u);
}

// After delivery, --wait asks each device (real snmpd agents, each on a
// loopback address of its own with its capture printer) until it is ready.
// The warming one moves on-line as RFC 3805 describes it (down and warmup
// at once), its printer on row 3 of its devices, its agent taking SNMPv2c
// alone; the one with a service reminder prints.
TEST(SendMany, WaitAsksEachPrinterUntilItReportsReady) {
  auto setup = testing::StartPrinting({}, std::nullopt);
  REQUIRE_SCHEDULER(*setup);
  std::string why;
  using testing::SimulatedPrinter;
  const auto warming = testing::PrivateSnmpd::Start({"127.0.0.5"}, SimulatedPrinter::WarmsUpAfterJob, &why,
                                                    {.warmUpSeconds = 3, .row = 3, .v2cOnly = true});
  const auto door = testing::PrivateSnmpd::Start({"127.0.0.6"}, SimulatedPrinter::DoorOpen, &why);
  const auto forever = testing::PrivateSnmpd::Start({"127.0.0.7"}, SimulatedPrinter::WarmsUpForever, &why);
  const auto reminder = testing::PrivateSnmpd::Start({"127.0.0.9"}, SimulatedPrinter::ServiceReminder, &why);
  REQUIRE_AGENTS(warming && door && forever && reminder, why);
  // "Silent" has no agent at all: its device never answers SNMP.
  for (const auto& [queue, address] :
       {std::pair{"Warming", "127.0.0.5"}, std::pair{"Door", "127.0.0.6"}, std::pair{"Forever", "127.0.0.7"},
        std::pair{"Silent", "127.0.0.8"}, std::pair{"Reminder", "127.0.0.9"}}) {
    tools::CaptureServer::JobCallback arrived;
    if (std::string(queue) == "Warming") {
      arrived = [&warming](std::size_t, const std::string&) { warming->JobArrived(); };
    }
    auto printer = std::make_unique<tools::CaptureServer>(0, arrived, address);
    ASSERT_TRUE(setup->cupsd->AddQueue(queue, printer->Port(), &why, address)) << why;
    setup->printers.emplace(queue, std::move(printer));
  }

  auto started = std::chrono::steady_clock::now();
  const testing::SeparateProgramRun run =
      Send({"--json", "--timeout", "15", "Warming", "Door", "Forever", "Silent", "Reminder"});
  EXPECT_LT(std::chrono::steady_clock::now() - started, 15s + 5s);
  EXPECT_EQ(run.exitStatus, 7) << run.out << run.err;  // needs-attention is the worst
  auto objects = JsonByName(run.out);
  ASSERT_EQ(objects.size(), 5u) << run.out;
  EXPECT_EQ(objects["Warming"]["outcome"], "ready");
  EXPECT_EQ(objects["Warming"]["device_status"], "running, idle");
  // Not before its 3 s of warm-up (counted in whole seconds by the agent).
  EXPECT_GE(objects["Warming"]["ready_seconds"].get<double>(), 2.0);
  EXPECT_GT(objects["Warming"]["ready_seconds"].get<double>(), objects["Warming"]["seconds"].get<double>());
  EXPECT_EQ(objects["Door"]["outcome"], "needs-attention");
  EXPECT_EQ(objects["Door"]["reason"], "door open");
  EXPECT_EQ(objects["Door"]["ready_seconds"], nullptr);
  EXPECT_EQ(objects["Forever"]["outcome"], "warming-up");
  EXPECT_EQ(objects["Forever"]["reason"], "still warming up when the time ran out");
  EXPECT_EQ(objects["Silent"]["outcome"], "delivered");
  EXPECT_EQ(objects["Silent"]["reason"],
            "the printer does not report its status (no answer to SNMP v2c or v1 with community "
            "\"public\")");
  EXPECT_EQ(objects["Silent"]["device_status"], nullptr);
  EXPECT_EQ(objects["Reminder"]["outcome"], "ready");
  EXPECT_EQ(objects["Reminder"]["reason"], "service requested");

  // The run keeps its bound with a device that no longer answers, one that
  // never did and one that warms up for ever.
  door->Freeze();
  started = std::chrono::steady_clock::now();
  const testing::SeparateProgramRun bound = Send({"--timeout", "2", "Door", "Silent", "Forever"});
  EXPECT_LT(std::chrono::steady_clock::now() - started, 2s + 5s);
  auto lines = LinesByName(bound.out);
  EXPECT_EQ(lines["Door"][1], "delivered") << bound.out;
  EXPECT_EQ(lines["Silent"][1], "delivered");
  EXPECT_EQ(lines["Forever"][1], "warming-up");
  EXPECT_EQ(bound.exitStatus, 5) << bound.out << bound.err;
}

// Agents that answer as broken or late ones do: every printer still gets
// its line, and the run its end (one broken reply once ended it at once).
TEST(SendMany, WaitReportsEveryPrinterWhateverItsAgentSends) {
  auto setup = testing::StartPrinting({}, std::nullopt);
  REQUIRE_SCHEDULER(*setup);
  using Fault = testing::SnmpTestAgent::Fault;
  testing::SnmpTestAgent broken("127.0.0.11", {.fault = Fault::ErrorIndexBeyond}, 161);
  testing::SnmpTestAgent late("127.0.0.12", {.delay = 1800ms}, 161);
  REQUIRE_AGENTS(broken.Port() && late.Port(), "no UDP port 161 on 127.0.0.11 and .12 (it needs root)");
  std::string why;
  for (const auto& [queue, address] : {std::pair{"Broken", "127.0.0.11"}, std::pair{"Late", "127.0.0.12"}}) {
    auto printer = std::make_unique<tools::CaptureServer>(0, nullptr, address);
    ASSERT_TRUE(setup->cupsd->AddQueue(queue, printer->Port(), &why, address)) << why;
    setup->printers.emplace(queue, std::move(printer));
  }

  const testing::SeparateProgramRun run = Send({"--json", "--timeout", "12", "Broken", "Late"});
  EXPECT_EQ(run.exitStatus, 0) << run.out << run.err;
  auto objects = JsonByName(run.out);
  ASSERT_EQ(objects.size(), 2u) << run.out << run.err;
  EXPECT_EQ(objects["Broken"]["outcome"], "delivered");
  EXPECT_THAT(objects["Broken"]["reason"].get<std::string>(), HasSubstr("malformed reply"));
  EXPECT_EQ(objects["Late"]["outcome"], "ready");
}

// Printers that speak IPP, each on a loopback address of its own, asked
// over IPP once the spooler's ipp backend has delivered the job: one warms
// up for 3 s after its job, one is jammed, and one ran out of paper while
// it printed and then went off, which only the spooler can still tell.
TEST(SendMany, WaitAsksIppPrintersOverIpp) {
  auto setup = testing::StartPrinting({}, std::nullopt);
  REQUIRE_SCHEDULER(*setup);
  using testing::ScriptedIppPrinter;
  ScriptedIppPrinter warming({"127.0.0.71"}, {.warming = ScriptedIppPrinter::State{3, {"fuser-under-temp-report"}},
                                              .warmUp = 3s});
  ScriptedIppPrinter jammed({"127.0.0.72"}, {.state = {5, {"media-jam-error"}}});
  ScriptedIppPrinter gone({"127.0.0.73"}, {.state = {5, {"media-empty-error"}}, .diesAfterJob = true});
  std::string why;
  for (const auto& [queue, uri] : {std::pair{"Warming", warming.Uri("127.0.0.71")},
                                   std::pair{"Jammed", jammed.Uri("127.0.0.72")},
                                   std::pair{"Gone", gone.Uri("127.0.0.73")}}) {
    ASSERT_TRUE(setup->cupsd->AddQueue(queue, uri, &why)) << why;
  }

  const testing::SeparateProgramRun run = Send({"--json", "--timeout", "15", "Warming", "Jammed", "Gone"});
  EXPECT_EQ(run.exitStatus, 7) << run.out << run.err;
  auto objects = JsonByName(run.out);
  ASSERT_EQ(objects.size(), 3u) << run.out;
  EXPECT_EQ(objects["Warming"]["outcome"], "ready");
  EXPECT_EQ(objects["Warming"]["device_status"], "idle");
  EXPECT_GE(objects["Warming"]["ready_seconds"].get<double>(), 3.0);
  EXPECT_EQ(objects["Jammed"]["outcome"], "needs-attention");
  EXPECT_EQ(objects["Jammed"]["reason"], "media jam");
  EXPECT_EQ(objects["Gone"]["outcome"], "needs-attention");
  EXPECT_EQ(objects["Gone"]["reason"], "media empty (as the spooler last heard from it)");
  EXPECT_EQ(warming.Jobs() + jammed.Jobs() + gone.Jobs(), 3);
}

// Some servers forget a job as soon as it has ended (PreserveJobHistory
// No): a job that has gone from the list printed, it did not vanish.
TEST(SendMany, WaitSeesThroughAServerWithoutJobHistory) {
  auto setup = testing::StartPrinting({"Laser"}, "Laser", {}, {.noJobHistory = true});
  REQUIRE_SCHEDULER(*setup);

  const testing::SeparateProgramRun run = Send({"--wait=20", "Laser"});
  EXPECT_EQ(run.exitStatus, 0) << run.out << run.err;
  EXPECT_EQ(LinesByName(run.out)["Laser"][1], "delivered");
  const testing::SeparateProgramRun json = Send({"--json", "--wait=20", "Laser"});
  EXPECT_EQ(json.exitStatus, 0) << json.out << json.err;
  EXPECT_EQ(JsonByName(json.out)["Laser"]["outcome"], "delivered");
  EXPECT_TRUE(setup->Printer("Laser").WaitForJobs(2, 10s));
}

// An IPP printer that takes PDF only refuses the raw warm-up. CUPS still
// ends the job "completed", with no page printed and the printer's words
// "Unable to add document to print job." as its message: that is a
// failure at the printer, not a delivery.
TEST(SendMany, WaitReportsADocumentThePrinterRefused) {
  auto setup = testing::StartPrinting({}, std::nullopt);
  REQUIRE_SCHEDULER(*setup);
  std::string why;
  const auto printer = testing::IppPrinter::Start("application/pdf", &why);
  if (!printer) {
    if (testing::CupsdRequired()) FAIL() << why;
    GTEST_SKIP() << why;
  }
  ASSERT_TRUE(setup->cupsd->AddQueue("Pdf", printer->Uri(), &why)) << why;

  const testing::SeparateProgramRun run = Send({"--wait=30", "Pdf"});
  EXPECT_EQ(run.exitStatus, 6) << run.out << run.err;
  auto lines = LinesByName(run.out);
  EXPECT_EQ(lines["Pdf"][1], "failed-at-printer");
  EXPECT_NE(lines["Pdf"][4], "-");
  const auto jobs = setup->cupsd->Jobs();
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].state, "completed");  // the case above, as CUPS shows it
  EXPECT_EQ(jobs[0].pages, 0);
}

// Six stopped queues, each job accepted and held: the run that waits for
// them can be frozen out or stopped while it waits.
std::unique_ptr<testing::PrintingSetup> StoppedQueues() {
  const std::vector<std::string> queues{"Q1", "Q2", "Q3", "Q4", "Q5", "Q6"};
  auto setup = testing::StartPrinting(queues, "Q1");
  for (const std::string& queue : queues) {
    if (setup->cupsd && !setup->cupsd->Disable(queue, &setup->why)) setup->cupsd.reset();
  }
  return setup;
}

// True once the scheduler holds `count` jobs, each with its document.
bool JobsAccepted(const testing::PrivateCupsd& cupsd, std::size_t count) {
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  for (;;) {
    const std::vector<SpooledJob> jobs = cupsd.Jobs();
    if (jobs.size() == count && std::all_of(jobs.begin(), jobs.end(), [](const SpooledJob& job) {
          return job.state == "pending";
        })) {
      return true;
    }
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(20ms);
  }
}

void ExpectStillWaitingEach(const std::string& out) {
  auto lines = LinesByName(out);
  EXPECT_EQ(lines.size(), 7u) << out;
  for (const char* queue : {"Q1", "Q2", "Q3", "Q4", "Q5", "Q6"}) {
    SCOPED_TRACE(queue);
    ASSERT_EQ(lines[queue].size(), 5u);
    EXPECT_EQ(lines[queue][1], "still-waiting");
    EXPECT_NE(lines[queue][4], "-");
    EXPECT_THAT(lines[queue][4], ::testing::Not(HasSubstr("Success")));
  }
}

// The scheduler freezes once it has the jobs: --wait=2 still ends within
// its two seconds and the bound for an unanswered question, and says of
// each printer that it is still waiting and why.
TEST(SendMany, FrozenSchedulerEndsTheWaitInTime) {
  auto setup = StoppedQueues();
  REQUIRE_SCHEDULER(*setup);
  const pid_t scheduler = setup->cupsd->Pid();
  struct Thaw {
    pid_t pid;
    ~Thaw() { kill(pid, SIGCONT); }
  } thaw{scheduler};

  bool frozen = false;
  const auto start = std::chrono::steady_clock::now();
  const testing::SeparateProgramRun run = Send({"--all", "--wait=2"}, [&](pid_t) {
    frozen = JobsAccepted(*setup->cupsd, 6) && kill(scheduler, SIGSTOP) == 0;
  });
  const auto took = std::chrono::steady_clock::now() - start;
  kill(scheduler, SIGCONT);
  EXPECT_TRUE(frozen) << "the jobs were not accepted in time";
  EXPECT_LT(took, 7500ms);
  EXPECT_EQ(run.exitStatus, 5) << run.out << run.err;
  ExpectStillWaitingEach(run.out);
  // Its subscription, which it could not cancel, lapses within a minute.
  for (const int lease : setup->cupsd->SubscriptionLeases()) EXPECT_LE(lease, 60);
}

// Stopped while it waits (a service manager's SIGTERM), the program still
// reports every printer and cancels the jobs it was told to.
TEST(SendMany, TerminatedWaitReportsAndCancels) {
  auto setup = StoppedQueues();
  REQUIRE_SCHEDULER(*setup);

  bool stopped = false;
  const testing::SeparateProgramRun run =
      Send({"--all", "--wait=60", "--cancel-on-timeout"}, [&](pid_t send) {
        stopped = JobsAccepted(*setup->cupsd, 6) && kill(send, SIGTERM) == 0;
      });
  EXPECT_TRUE(stopped) << "the jobs were not accepted in time";
  EXPECT_EQ(run.exitStatus, 5) << run.out << run.err;
  ExpectStillWaitingEach(run.out);
  EXPECT_TRUE(setup->cupsd->SubscriptionLeases().empty());
  for (const SpooledJob& job : setup->cupsd->Jobs()) {
    EXPECT_EQ(job.state, "canceled") << job.queue;
  }
}

// KEY=VALUE lines, as systemd reads Environment= and EnvironmentFile=.
void ReadAssignments(const std::string& text, const std::string& prefix,
                     std::map<std::string, std::string>& variables) {
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(prefix, 0) != 0) continue;
    line.erase(0, prefix.size());
    const std::size_t equals = line.find('=');
    if (line.empty() || line[0] == '#' || equals == std::string::npos) continue;
    std::string value = line.substr(equals + 1);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    }
    variables[line.substr(0, equals)] = value;
  }
}

// The service's ExecStart= as systemd runs it: the unit's Environment=
// lines, then the settings file, and each $NAME split into words.
std::vector<std::string> ServiceCommand() {
  const std::string folder = std::string(BRISAKETT_SOURCE_DIR) + "/packaging/systemd/";
  const std::string unit = testing::ReadFile(folder + "brisakett-wake.service");
  std::map<std::string, std::string> variables;
  ReadAssignments(unit, "Environment=", variables);
  EXPECT_THAT(unit, HasSubstr("EnvironmentFile=-/etc/default/brisakett\n"));
  ReadAssignments(testing::ReadFile(folder + "brisakett.default"), "", variables);

  std::string execStart;
  std::istringstream in(unit);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("ExecStart=", 0) == 0) execStart = line.substr(10);
  }
  std::vector<std::string> command;
  std::istringstream words(execStart);
  for (std::string word; words >> word;) {
    if (word[0] != '$') {
      command.push_back(word);
      continue;
    }
    std::istringstream value(variables[word.substr(1)]);
    for (std::string part; value >> part;) command.push_back(part);
  }
  return command;
}

TEST(SendMany, TheTimersServiceWakesEveryPrinter) {
  auto setup = testing::StartPrinting({"Front", "Back"}, "Front");
  REQUIRE_SCHEDULER(*setup);

  std::vector<std::string> command = ServiceCommand();
  ASSERT_FALSE(command.empty());
  ASSERT_EQ(command.front(), "/usr/bin/brisakett-send");
  command.front() = BRISAKETT_SEND_PATH;
  const testing::SeparateProgramRun run = testing::RunProgramApart(command);
  EXPECT_EQ(run.exitStatus, 0) << run.out << run.err;
  auto lines = LinesByName(run.out);
  EXPECT_EQ(lines["Front"][1], "delivered");
  EXPECT_EQ(lines["Back"][1], "delivered");
  EXPECT_EQ(lines["summary"][0], "summary: 2 printers, 2 delivered");
  for (const char* queue : {"Front", "Back"}) {
    EXPECT_THAT(setup->Printer(queue).Jobs(), ::testing::ElementsAre(std::string(kWarmUpStream)))
        << queue;
  }
}

}  // namespace
}  // namespace brisakett
