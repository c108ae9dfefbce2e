// brisakett-send --wait as a site meets it: a scheduler that keeps no job
// history and few events, hundreds of stopped queues behind a slow link,
// policies that guard the notifications or want a password for jobs.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "latency_relay.h"
#include "local_user.h"
#include "loopback_socket.h"
#include "printing_setup.h"
#include "send_report.h"
#include "require_scheduler.h"
#include "temp_folder.h"
#include "upgrade_proxy.h"

namespace brisakett {
namespace {

using namespace std::chrono_literals;
using testing::LinesByName;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr int kKillAfterSeconds = 90;

testing::SeparateProgramRun Send(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), BRISAKETT_SEND_PATH);
  return testing::RunProgramApart(arguments, kKillAfterSeconds);
}

std::vector<std::string> Numbered(const std::string& prefix, int count) {
  std::vector<std::string> names;
  for (int number = 1; number <= count; ++number) {
    names.push_back(prefix + (number < 10 ? "00" : number < 100 ? "0" : "") + std::to_string(number));
  }
  return names;
}

// cupsd keeps at most MaxEvents events and drops the oldest, and with no
// job history forgets a job as soon as it ends: every printed job is
// still delivered, none unknown. (With more jobs in flight than the
// scheduler keeps events, a machine too busy to read them in time can
// lose an end; the run then says so. Four at a time keep this case about
// the reading, not about the machine's load.)
TEST(Site, EveryPrintedJobIsDeliveredThoughTheSchedulerKeepsNoHistoryAndFewEvents) {
  const std::vector<std::string> queues = Numbered("Q", 12);
  auto setup = testing::StartPrinting(queues, queues.front(), {}, {.noJobHistory = true, .maxEvents = 5});
  REQUIRE_SCHEDULER(*setup);
  const testing::SeparateProgramRun run = Send({"--all", "--wait=60", "--jobs", "4"});
  EXPECT_EQ(run.exitStatus, 0) << run.out << run.err;
  auto lines = LinesByName(run.out);
  for (const std::string& queue : queues) EXPECT_EQ(lines[queue].at(1), "delivered") << run.out;
  EXPECT_EQ(lines["summary"][0], "summary: 12 printers, 12 delivered");
}

// 100 stopped queues and 10 printing ones behind 40 ms each way: the run
// keeps its bound, the printed jobs are delivered, each waiting one says
// why and is cancelled as asked, and no subscription is left behind.
TEST(Site, StoppedQueuesBehindASlowLinkEndInTimeEachCancelled) {
  const std::vector<std::string> printing = Numbered("Ready", 10);
  const std::vector<std::string> stopped = Numbered("Stopped", 100);
  auto setup = testing::StartPrinting(printing, printing.front(), {}, {.listenOnTcp = true});
  REQUIRE_SCHEDULER(*setup);
  ASSERT_TRUE(setup->cupsd->AddQueues(stopped, "socket://127.0.0.1:9", true, &setup->why)) << setup->why;
  const testing::LatencyRelay relay(setup->cupsd->TcpPort(), 40ms);
  ASSERT_NE(relay.Port(), 0);
  setenv("CUPS_SERVER", ("127.0.0.1:" + std::to_string(relay.Port())).c_str(), 1);

  const auto started = std::chrono::steady_clock::now();
  const testing::SeparateProgramRun run = Send({"--all", "--timeout", "10", "--cancel-on-timeout"});
  EXPECT_LT(std::chrono::steady_clock::now() - started, 10s + 5s);
  EXPECT_EQ(run.exitStatus, 5) << run.out << run.err;
  auto lines = LinesByName(run.out);
  for (const std::string& queue : printing) EXPECT_EQ(lines[queue].at(1), "delivered") << queue;
  for (const std::string& queue : stopped) {
    SCOPED_TRACE(queue);
    ASSERT_EQ(lines[queue].size(), 5u) << run.out;
    EXPECT_EQ(lines[queue][1], "still-waiting");
    EXPECT_THAT(lines[queue][4], StartsWith("queue stopped"));
    EXPECT_THAT(lines[queue][4], EndsWith("; job cancelled"));
  }
  std::size_t cancelled = 0;
  for (const testing::SpooledJob& job : setup->cupsd->Jobs()) cancelled += job.state == "canceled";
  EXPECT_EQ(cancelled, stopped.size());
  EXPECT_TRUE(setup->cupsd->SubscriptionLeases().empty());
}

// Reading and renewing the subscription need a password nobody gives from
// a script: the jobs are followed by the lists alone, and the
// subscription lapses within its minute.
TEST(Site, GuardedNotificationsAreFollowedByTheListsAlone) {
  auto setup = testing::StartPrinting({"Laser", "Tinte"}, "Laser", {}, {.guardNotifications = true});
  REQUIRE_SCHEDULER(*setup);
  const testing::SeparateProgramRun run = Send({"--all", "--wait=30"});
  EXPECT_EQ(run.exitStatus, 0) << run.out << run.err;
  auto lines = LinesByName(run.out);
  EXPECT_EQ(lines["Laser"].at(1), "delivered");
  EXPECT_EQ(lines["Tinte"].at(1), "delivered");
  for (const int lease : setup->cupsd->SubscriptionLeases()) {
    EXPECT_GT(lease, 0);
    EXPECT_LE(lease, 60);
  }
}

// A password wanted for every job is asked once for the server, however
// many printers the run wakes.
TEST(Site, PasswordIsAskedOncePerServerAndRun) {
  if (geteuid() != 0) GTEST_SKIP() << "a local user and PAM's check of it need root";
  const std::string password = "Kett3-richtig";
  const testing::LocalUser user(password);
  ASSERT_TRUE(user.Created()) << user.Why();
  auto setup = testing::StartPrinting({"A", "B", "C", "D"}, "A", {},
                                      {.listenOnTcp = true, .passwordForJobs = true});
  REQUIRE_SCHEDULER(*setup);
  setenv("CUPS_SERVER", ("127.0.0.1:" + std::to_string(setup->cupsd->TcpPort())).c_str(), 1);
  const testing::TerminalProgramRun run = testing::RunProgramAtTerminal(
      {BRISAKETT_SEND_PATH, "-U", user.Name(), "--all", "--wait=30"}, {{password}}, kKillAfterSeconds);
  EXPECT_EQ(run.exitStatus, 0) << run.terminal;
  std::size_t prompts = 0;
  for (std::size_t at = 0; (at = run.terminal.find("Password for", at)) != std::string::npos; ++at) ++prompts;
  EXPECT_EQ(prompts, 1u) << run.terminal;
  EXPECT_THAT(run.terminal, HasSubstr("summary: 4 printers, 4 delivered"));
}

// Debian's node exporter on a loopback port, with nothing but its textfile
// collector, reading `folder`; stopped with the test.
class NodeExporter {
public:
  NodeExporter(const std::string& program, const std::filesystem::path& folder)
      : port_(testing::FreeLoopbackPort()),
        pid_(testing::StartProgram({program, "--collector.disable-defaults", "--collector.textfile",
                                    "--collector.textfile.directory=" + folder.string(),
                                    "--web.listen-address=127.0.0.1:" + std::to_string(port_)},
                                   (folder.parent_path() / "node-exporter.log").string())) {}
  ~NodeExporter() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }

  // What a scrape of /metrics gives, once it listens (within 10 s); empty
  // when it never does.
  std::string Scrape() const {
    int connection = -1;
    for (int tries = 0; pid_ > 0 && connection < 0 && tries < 100; ++tries) {
      connection = testing::ConnectToLoopback(port_);
      if (connection < 0) std::this_thread::sleep_for(100ms);
    }
    if (connection < 0) return {};
    const std::string request = "GET /metrics HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    std::string answer;
    if (write(connection, request.data(), request.size()) == ssize_t(request.size())) {
      char buffer[65536];
      for (ssize_t got; (got = read(connection, buffer, sizeof buffer)) > 0;) {
        answer.append(buffer, std::size_t(got));
      }
    }
    close(connection);
    return answer;
  }

private:
  std::uint16_t port_;
  pid_t pid_;
};

// What users read is what is tested: the metrics of a run stopped by
// SIGTERM, with queues named in UTF-8 and names given with quotes,
// backslashes, a line feed and bytes that are not UTF-8 (CUPS takes none
// of these in a queue's name), pass promtool and come back through
// Debian's node exporter, each printer a series of its own.
TEST(Site, MetricsOfAnyNameAreReadBackThroughTheNodeExporter) {
  const std::string promtool = testing::FindProgram("promtool");
  const std::string exporter = testing::FindProgram("prometheus-node-exporter");
  REQUIRE_PROGRAM(promtool, "promtool (Debian's prometheus)");
  REQUIRE_PROGRAM(exporter, "prometheus-node-exporter");
  auto setup = testing::StartPrinting({"Zürich-Étage_2"}, "Zürich-Étage_2");
  REQUIRE_SCHEDULER(*setup);
  ASSERT_TRUE(setup->cupsd->AddQueues({"Emoji-😀"}, "socket://127.0.0.1:9", true, &setup->why))
      << setup->why;
  const testing::TempFolder run;
  const std::filesystem::path textfiles = run.path() / "textfiles";
  std::filesystem::create_directory(textfiles);
  const std::string file = (textfiles / "brisakett.prom").string();

  const testing::SeparateProgramRun sent = testing::RunProgramApart(
      {BRISAKETT_SEND_PATH, "--metrics", file, "--timeout", "60", "Zürich-Étage_2", "Emoji-😀",
       "Quote\"d", "Back\\slash", "Line\nFeed\xff"},
      kKillAfterSeconds, [](pid_t send) {
        std::this_thread::sleep_for(3s);
        kill(send, SIGTERM);
      });
  EXPECT_EQ(sent.exitStatus, 3) << sent.out << sent.err;
  const testing::ProgramRun check =
      testing::RunProgram({"/bin/sh", "-c", "exec \"$0\" check metrics < \"$1\"", promtool, file});
  EXPECT_EQ(check.exitStatus, 0) << check.output << testing::ReadFile(file);

  const std::string scraped = NodeExporter(exporter, textfiles).Scrape();
  EXPECT_THAT(scraped, HasSubstr("\nnode_textfile_scrape_error 0\n")) << scraped;
  const std::string server = setup->cupsd->SocketPath();
  for (const auto& [printer, outcome] :
       std::map<std::string, std::string>{{"Zürich-Étage_2", "delivered"},
                                          {"Quote\\\"d", "not-recognized"},
                                          {"Back\\\\slash", "not-recognized"},
                                          {"Emoji-😀", "still-waiting"},
                                          {"Line\\nFeed\uFFFD", "not-recognized"}}) {
    EXPECT_THAT(scraped, HasSubstr("\nbrisakett_printer_outcome{outcome=\"" + outcome +
                                   "\",printer=\"" + printer + "\",server=\"" + server + "\"} 1\n"));
  }
  EXPECT_THAT(scraped, HasSubstr("\nbrisakett_printer_ready{printer=\"Zürich-Étage_2\",server=\"" +
                                 server + "\"} 0\n"));
  EXPECT_THAT(scraped, HasSubstr("\nbrisakett_run_exit_status 3\n"));
  EXPECT_THAT(scraped, HasSubstr("\nbrisakett_run_printers{outcome=\"not-recognized\"} 3\n"));
}

// JSON lines by "name@server".
std::map<std::string, nlohmann::json> JsonByNameAndServer(const std::string& out) {
  std::map<std::string, nlohmann::json> objects;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    const nlohmann::json object = nlohmann::json::parse(line);
    const auto text = [&](const char* key) {
      return object.at(key).is_null() ? std::string("-") : object.at(key).get<std::string>();
    };
    objects[text("name") + "@" + text("server")] = object;
  }
  return objects;
}

// One run over an organisation's print servers: a plain one, one that
// demands TLS, one that wants a password nobody gives from a script, one
// never started. Each is what it is; the others' printers wake all the
// same, and a server frozen mid-run costs the others nothing.
TEST(Site, EveryPrintServerFromOneRun) {
  auto plain = testing::StartPrinting({"Laser", "Gemeinsam"}, "Laser", {}, {.listenOnTcp = true});
  REQUIRE_SCHEDULER(*plain);
  auto tls = testing::StartPrinting({"Tinte", "Gemeinsam"}, "Tinte", {},
                                    {.listenOnTcp = true, .encryption = true});
  REQUIRE_SCHEDULER(*tls);
  auto guarded = testing::StartPrinting({"Kasse"}, "Kasse", {}, {.listenOnTcp = true, .passwordForJobs = true});
  REQUIRE_SCHEDULER(*guarded);
  const testing::UpgradeProxy upgrade(tls->cupsd->TcpPort());
  const std::string a = "127.0.0.1:" + std::to_string(plain->cupsd->TcpPort());
  const std::string b = "127.0.0.1:" + std::to_string(upgrade.Port());
  const std::string c = "127.0.0.1:" + std::to_string(guarded->cupsd->TcpPort());
  const std::string d = "127.0.0.1:" + std::to_string(testing::FreeLoopbackPort());

  const testing::TempFolder folder;
  const std::string metrics = (folder.path() / "brisakett.prom").string();
  const testing::SeparateProgramRun run =
      Send({"--all", "--wait=20", "--json", "--metrics", metrics, "-h", a, "-h", b, "-h", c, "-h", d});
  EXPECT_EQ(run.exitStatus, 4) << run.out << run.err;  // the unreachable server is the worst
  auto objects = JsonByNameAndServer(run.out);
  EXPECT_EQ(objects.size(), 6u) << run.out;
  for (const std::string& key : {"Laser@" + a, "Gemeinsam@" + a, "Tinte@" + b, "Gemeinsam@" + b}) {
    EXPECT_EQ(objects[key]["outcome"], "delivered") << key << run.out;
  }
  EXPECT_EQ(objects["Kasse@" + c]["outcome"], "refused");
  EXPECT_EQ(objects["Kasse@" + c]["reason"], "Unauthorized");
  EXPECT_EQ(objects["-@" + d]["outcome"], "unreachable");
  EXPECT_GT(upgrade.Upgraded(), 0);
  // One file for every server, each printer told apart by its server.
  const std::string series = testing::ReadFile(metrics);
  for (const std::string& server : {a, b}) {
    EXPECT_THAT(series, HasSubstr("{printer=\"Gemeinsam\",server=\"" + server + "\",outcome=\"delivered\"} 1"));
  }

  // The text lines carry the server as a sixth field; a name no server
  // has is not-recognized once; --list names the server beside each.
  const testing::SeparateProgramRun named = Send({"-h", a, "-h", b, "Gemeinsam", "Nirgends"});
  EXPECT_EQ(named.exitStatus, 3) << named.out << named.err;
  EXPECT_THAT(named.out, HasSubstr("Gemeinsam\tsent\t"));
  EXPECT_THAT(named.out, HasSubstr("\t" + a + "\n"));
  EXPECT_THAT(named.out, HasSubstr("\t" + b + "\n"));
  EXPECT_THAT(named.out, HasSubstr("Nirgends\tnot-recognized\t-\t0.00\tThe Printer Name you typed wasn't recognized.\t-\n"));
  const testing::SeparateProgramRun list = Send({"--list", "-h", a, "-h", b});
  EXPECT_EQ(list.out, "  Gemeinsam\t" + a + "\n* Laser\t" + a + "\n  Gemeinsam\t" + b + "\n* Tinte\t" + b + "\n");

  // Frozen once it holds its jobs, the plain server keeps them; the TLS
  // server's printers are delivered all the same, and the run keeps its
  // bound.
  const pid_t frozen = plain->cupsd->Pid();
  ASSERT_TRUE(plain->cupsd->Disable("Laser"));
  const auto started = std::chrono::steady_clock::now();
  const testing::SeparateProgramRun half = testing::RunProgramApart(
      {BRISAKETT_SEND_PATH, "--all", "--wait=8", "--json", "-h", a, "-h", b}, kKillAfterSeconds,
      [&](pid_t) {
        std::this_thread::sleep_for(1500ms);
        kill(frozen, SIGSTOP);
      });
  kill(frozen, SIGCONT);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 8s + 5s);
  objects = JsonByNameAndServer(half.out);
  EXPECT_EQ(objects["Tinte@" + b]["outcome"], "delivered") << half.out;
  EXPECT_EQ(objects["Gemeinsam@" + b]["outcome"], "delivered");
  EXPECT_EQ(objects["Laser@" + a]["outcome"], "still-waiting");
}

}  // namespace
}  // namespace brisakett
