// Users with a central print server reach it over TCP (CUPS_SERVER=HOST:PORT)
// rather than the local socket: the same warm-up must work there, from the
// core and from brisakett-send.

#include <arpa/inet.h>
#include <cups/cups.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <sstream>
#include <tuple>
#include <cstdlib>
#include <filesystem>
#include <vector>
#include <string>

#include "child_process.h"
#include "cups/cups_printer_catalog.h"
#include "cups/cups_spooler.h"
#include "local_user.h"
#include "printing_setup.h"
#include "private_snmpd.h"
#include "silent_server.h"
#include "require_scheduler.h"
#include "current_printer.h"
#include "temp_folder.h"
#include "upgrade_proxy.h"
#include "warmup_job.h"
#include "warmup_stream.h"

namespace brisakett {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::Not;

// A hung child must fail the test, not stall the suite.
constexpr int kKillAfterSeconds = 30;

std::string TcpServer(const testing::PrintingSetup& setup) {
  return "127.0.0.1:" + std::to_string(setup.cupsd->TcpPort());
}

TEST(PrintServer, WarmUpOverLoopbackTcp) {
  auto setup = testing::StartPrinting({"Laser"}, "Laser", {}, {.listenOnTcp = true});
  REQUIRE_SCHEDULER(*setup);
  // The private scheduler put its socket in CUPS_SERVER; the TCP address
  // takes its place for this process and brisakett-send. It puts the
  // environment back when it stops.
  const std::string server = "127.0.0.1:" + std::to_string(setup->cupsd->TcpPort());
  setenv("CUPS_SERVER", server.c_str(), 1);
  cupsSetServer(server.c_str());

  const SpoolerLogin login;
  CupsPrinterCatalog catalog(login);
  CupsSpooler spooler(login);
  CurrentPrinter current = CurrentPrinter::FromDefault(catalog);
  EXPECT_EQ(current.DeviceName(), "Laser");
  const WarmUpOutcome outcome = RunWarmUp(catalog, current, spooler, "Laser");
  EXPECT_EQ(outcome.status, WarmUpOutcome::Status::Sent) << outcome.message;

  const testing::ProgramRun send = testing::RunProgram({BRISAKETT_SEND_PATH, "Laser"});
  EXPECT_EQ(send.exitStatus, 0) << send.output;
  EXPECT_EQ(send.output, "Kommando ausgeführt\n");

  ASSERT_TRUE(setup->cupsd->WaitForCompletedJobs(2, 30s)) << setup->cupsd->ErrorLog();
  for (const testing::SpooledJob& job : setup->cupsd->Jobs()) {
    EXPECT_EQ(job.queue, "Laser");
    EXPECT_EQ(job.title, "Command Print");
    EXPECT_EQ(job.pages, 1);
  }
  EXPECT_EQ(setup->Printer("Laser").Jobs(),
            std::vector<std::string>(2, std::string(kWarmUpStream)));

  // The scheduler logs how each client came in; only the warm-ups used TCP.
  const std::string log = setup->cupsd->ErrorLog();
  std::size_t tcpClients = 0;
  for (std::size_t at = log.find("(IPv4)"); at != std::string::npos; at = log.find("(IPv4)", at + 1)) {
    ++tcpClients;
  }
  EXPECT_GE(tcpClients, 2u) << "the warm-ups did not come over TCP";
}

// A print server that wants a password for jobs. brisakett-send run from a
// script has nobody to ask: it fails at once with the server's reason, and
// never turns to the terminal, even when it has one.
TEST(PrintServer, PasswordWantedFailsAtOnceWithoutATerminalToAsk) {
  testing::PrivateCupsdOptions options;
  options.listenOnTcp = true;
  options.passwordForJobs = true;
  auto setup = testing::StartPrinting({"Laser"}, "Laser", {}, options);
  REQUIRE_SCHEDULER(*setup);
  const std::string server = "127.0.0.1:" + std::to_string(setup->cupsd->TcpPort());
  setenv("CUPS_SERVER", server.c_str(), 1);

  const auto start = std::chrono::steady_clock::now();
  const testing::ProgramRun piped = testing::RunProgram({BRISAKETT_SEND_PATH, "Laser"});
  EXPECT_EQ(piped.exitStatus, 1);
  EXPECT_EQ(piped.output, "Kommando fehlgeschlagen\nUnauthorized\n");

  const testing::TerminalProgramRun onTerminal =
      testing::RunProgramWithTerminal({BRISAKETT_SEND_PATH, "-U", "anna", "Laser"}, 10);
  EXPECT_FALSE(onTerminal.timedOut) << "it waited for the terminal";
  EXPECT_EQ(onTerminal.exitStatus, 1);
  EXPECT_EQ(onTerminal.output, "Kommando fehlgeschlagen\nUnauthorized\n");
  EXPECT_EQ(onTerminal.terminal, "");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);

  EXPECT_TRUE(setup->cupsd->Jobs().empty());
  EXPECT_TRUE(setup->Printer("Laser").Jobs().empty());
}

// A scheduler that is down or never answers is an outage, exit status 4,
// for a printer and for the list alike, and says which server it is.
TEST(PrintServer, UnreachableOrSilentServerIsExitStatusFour) {
  auto setup = testing::StartPrinting({"Laser"}, "Laser");
  REQUIRE_SCHEDULER(*setup);
  setup->cupsd->Stop();
  for (const std::vector<std::string>& arguments :
       std::vector<std::vector<std::string>>{{"Laser"}, {}, {"--list"}, {"--all", "--wait"}}) {
    std::vector<std::string> argv{BRISAKETT_SEND_PATH};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const testing::SeparateProgramRun down = testing::RunProgramApart(argv);
    EXPECT_EQ(down.exitStatus, 4) << down.err;
    EXPECT_EQ(down.out, "");
    EXPECT_EQ(down.err, "Kommando fehlgeschlagen\nThe print server localhost cannot be reached.\n");
  }

  const testing::SilentServer silent;
  const std::string server = "127.0.0.1:" + std::to_string(silent.Port());
  setenv("CUPS_SERVER", server.c_str(), 1);
  for (const char* argument : {"Laser", "--list"}) {
    const auto start = std::chrono::steady_clock::now();
    const testing::SeparateProgramRun stalled =
        testing::RunProgramApart({BRISAKETT_SEND_PATH, argument});
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << argument;
    EXPECT_EQ(stalled.exitStatus, 4) << argument;
    EXPECT_EQ(stalled.err, "Kommando fehlgeschlagen\nThe print server 127.0.0.1 did not answer "
                           "within 3 seconds.\n");
  }

  // Told to encrypt, the program waits for the TLS handshake, and a silent
  // server never starts it: the same bound holds.
  setenv("CUPS_ENCRYPTION", "Required", 1);
  const auto start = std::chrono::steady_clock::now();
  const testing::SeparateProgramRun encrypted =
      testing::RunProgramApart({BRISAKETT_SEND_PATH, "Laser"}, 10);
  unsetenv("CUPS_ENCRYPTION");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_EQ(encrypted.exitStatus, 4);
  EXPECT_THAT(encrypted.err, HasSubstr("did not answer within 3 seconds"));
}

// A print server that insists on TLS answers plain requests "426 Upgrade
// Required", as CUPS does with "Encryption Required": the program upgrades
// the connection and prints, and lists.
TEST(PrintServer, ServerDemandingEncryptionIsAnsweredOverTls) {
  testing::PrivateCupsdOptions options;
  options.listenOnTcp = true;
  options.encryption = true;
  auto setup = testing::StartPrinting({"Laser"}, "Laser", {}, options);
  REQUIRE_SCHEDULER(*setup);
  const testing::UpgradeProxy proxy(setup->cupsd->TcpPort());
  ASSERT_NE(proxy.Port(), 0);
  const std::string server = "127.0.0.1:" + std::to_string(proxy.Port());
  setenv("CUPS_SERVER", server.c_str(), 1);

  const testing::SeparateProgramRun send =
      testing::RunProgramApart({BRISAKETT_SEND_PATH, "Laser"}, kKillAfterSeconds);
  EXPECT_EQ(send.exitStatus, 0) << send.err;
  EXPECT_EQ(send.out, "Kommando ausgeführt\n");
  EXPECT_TRUE(setup->Printer("Laser").WaitForJobs(1, 10s));
  EXPECT_EQ(setup->Printer("Laser").Jobs(), std::vector<std::string>{std::string(kWarmUpStream)});

  const testing::SeparateProgramRun list =
      testing::RunProgramApart({BRISAKETT_SEND_PATH, "--list"}, kKillAfterSeconds);
  EXPECT_EQ(list.exitStatus, 0) << list.err;
  EXPECT_EQ(list.out, "* Laser\n");
  EXPECT_GT(proxy.Upgraded(), 0);
}

// Runs brisakett-send with `arguments` where names are looked up only by
// a name server that takes every question and never answers: a
// resolv.conf of its own, and no hosts file, bound over the machine's in a
// mount namespace only it sees. Each test has its own name server's
// `address`, since tests run side by side.
testing::SeparateProgramRun SendWithSilentNameServer(const std::string& address,
                                                     const std::vector<std::string>& arguments) {
  const int nameServer = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in bound{};
  bound.sin_family = AF_INET;
  bound.sin_port = htons(53);
  inet_pton(AF_INET, address.c_str(), &bound.sin_addr);
  EXPECT_EQ(bind(nameServer, reinterpret_cast<sockaddr*>(&bound), sizeof bound), 0);
  const testing::TempFolder folder;
  const auto readable = std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                        std::filesystem::perms::others_read;
  const std::string resolvConf = (folder.path() / "resolv.conf").string();
  const std::string hosts = (folder.path() / "hosts").string();
  testing::WriteFile(resolvConf, "nameserver " + address + "\n", readable);
  testing::WriteFile(hosts, "", readable);
  std::vector<std::string> argv{testing::FindProgram("unshare"), "--mount", "--",
                                testing::FindProgram("sh"), "-c",
                                "mount --bind \"$1\" /etc/resolv.conf && mount --bind \"$2\" /etc/hosts && "
                                "shift 2 && exec \"$@\"",
                                "sh", resolvConf, hosts, BRISAKETT_SEND_PATH};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  testing::SeparateProgramRun run = testing::RunProgramApart(argv, kKillAfterSeconds);
  close(nameServer);
  return run;
}

// The print server's name cannot be looked up because the name server
// takes the question and never answers: the resolver's own patience (5 s
// a try, twice) is not the user's.
TEST(PrintServer, SilentNameServerIsExitStatusFourInTime) {
  if (geteuid() != 0) GTEST_SKIP() << "a mount namespace of its own needs root";
  setenv("CUPS_SERVER", "printserver.example.test:631", 1);
  const auto start = std::chrono::steady_clock::now();
  const testing::SeparateProgramRun run = SendWithSilentNameServer("127.83.0.53", {"Laser"});
  const auto took = std::chrono::steady_clock::now() - start;
  unsetenv("CUPS_SERVER");
  EXPECT_LT(took, 5s);
  EXPECT_EQ(run.exitStatus, 4) << run.err;
  EXPECT_THAT(run.err, HasSubstr("did not answer within 3 seconds"));
}

// A printer whose device is known by a name that the name server never
// answers for costs that printer its status, and the others nothing: the
// printer beside it is asked every second all the same.
TEST(PrintServer, SilentNameServerCostsOnlyThatDevicesStatus) {
  if (geteuid() != 0) GTEST_SKIP() << "a mount namespace of its own needs root";
  auto setup = testing::StartPrinting({}, std::nullopt);
  REQUIRE_SCHEDULER(*setup);
  std::string why;
  const auto agent = testing::PrivateSnmpd::Start({"127.0.0.14"}, testing::SimulatedPrinter::ServiceReminder, &why);
  REQUIRE_AGENTS(agent, why);
  // The scheduler finds "localhost" in the machine's hosts file; the
  // program, in its namespace, has only the silent name server to ask.
  for (const auto& [queue, address, host] : {std::tuple{"Named", "127.0.0.1", "localhost"},
                                             std::tuple{"Numbered", "127.0.0.14", "127.0.0.14"}}) {
    auto printer = std::make_unique<tools::CaptureServer>(0, nullptr, address);
    ASSERT_TRUE(setup->cupsd->AddQueue(queue, "socket://" + std::string(host) + ":" +
                                                  std::to_string(printer->Port()), &why)) << why;
    setup->printers.emplace(queue, std::move(printer));
  }
  const testing::SeparateProgramRun run = SendWithSilentNameServer("127.83.0.54", {"--json", "--timeout", "10", "Named", "Numbered"});
  EXPECT_EQ(run.exitStatus, 0) << run.out << run.err;
  std::map<std::string, nlohmann::json> byName;
  std::istringstream in(run.out);
  for (std::string line; std::getline(in, line);) {
    const nlohmann::json object = nlohmann::json::parse(line);
    byName[object.at("name")] = object;
  }
  EXPECT_EQ(byName["Named"]["outcome"], "delivered");
  EXPECT_EQ(byName["Named"]["reason"],
            "the printer does not report its status (its name localhost did not resolve in time)");
  EXPECT_EQ(byName["Numbered"]["outcome"], "ready");
  // Its two readings a second apart, not held up by the 3 s of the name.
  EXPECT_LT(byName["Numbered"]["ready_seconds"].get<double>(), 3.0) << run.out;
}

// A print server that wants a password for every request, the list and
// the default printer too. From a script there is nobody to ask: each
// question ends as refused, with the server's reason, not as an outage or
// as "no default printer".
TEST(PrintServer, PasswordWantedForEverythingIsRefusedFromAScript) {
  testing::PrivateCupsdOptions options;
  options.listenOnTcp = true;
  options.passwordForEverything = true;
  auto setup = testing::StartPrinting({"Laser", "Tinte"}, "Laser", {}, options);
  REQUIRE_SCHEDULER(*setup);
  setenv("CUPS_SERVER", TcpServer(*setup).c_str(), 1);

  for (const std::vector<std::string>& arguments :
       std::vector<std::vector<std::string>>{{"Laser"}, {"--list"}, {"--all"}, {}}) {
    std::vector<std::string> argv{BRISAKETT_SEND_PATH};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const testing::SeparateProgramRun run = testing::RunProgramApart(argv, kKillAfterSeconds);
    const std::string said = run.out + run.err;
    SCOPED_TRACE(arguments.empty() ? "(the default)" : arguments.front());
    EXPECT_EQ(run.exitStatus, 1) << said;
    EXPECT_THAT(said, HasSubstr("Unauthorized"));
    EXPECT_THAT(said, Not(HasSubstr("There is no default printer")));
  }
  EXPECT_TRUE(setup->cupsd->Jobs().empty());
}

// A person at a terminal mistypes the password: the print server, which
// checks it through PAM and keeps a failed check waiting, refuses it, and
// the program asks again; the right one prints. Time spent at the prompt is
// the person's: a password typed after 10 s prints too.
TEST(PrintServer, WrongPasswordAtTheTerminalIsAskedForAgain) {
  if (geteuid() != 0) GTEST_SKIP() << "a local user and PAM's check of it need root";
  ASSERT_TRUE(std::filesystem::exists("/etc/pam.d/cups")) << "cups-daemon's PAM service";
  const std::string password = "Kett3-richtig";
  const testing::LocalUser user(password);
  ASSERT_TRUE(user.Created()) << user.Why();
  testing::PrivateCupsdOptions options;
  options.listenOnTcp = true;
  options.passwordForJobs = true;
  auto setup = testing::StartPrinting({"Laser"}, "Laser", {}, options);
  REQUIRE_SCHEDULER(*setup);
  setenv("CUPS_SERVER", TcpServer(*setup).c_str(), 1);
  const std::vector<std::string> argv{BRISAKETT_SEND_PATH, "-U", user.Name(), "Laser"};

  const testing::TerminalProgramRun mistyped =
      testing::RunProgramAtTerminal(argv, {{"Kett3-falsch"}, {password}}, kKillAfterSeconds);
  EXPECT_EQ(mistyped.exitStatus, 0) << mistyped.terminal;
  EXPECT_THAT(mistyped.terminal, HasSubstr("Kommando ausgeführt"));
  EXPECT_TRUE(setup->Printer("Laser").WaitForJobs(1, 10s));

  const testing::TerminalProgramRun slow =
      testing::RunProgramAtTerminal(argv, {{password, 10s}}, kKillAfterSeconds);
  EXPECT_EQ(slow.exitStatus, 0) << slow.terminal;
  EXPECT_TRUE(setup->Printer("Laser").WaitForJobs(2, 10s));
  EXPECT_EQ(setup->Printer("Laser").Jobs(),
            std::vector<std::string>(2, std::string(kWarmUpStream)));

  // Ctrl-C at the prompt: the question is declined at once and the
  // terminal echoes again, whichever of the program's threads took the
  // signal.
  const auto pressed = std::chrono::steady_clock::now();
  const testing::TerminalProgramRun interrupted =
      testing::RunProgramAtTerminal(argv, {{{}, 0ms, /*interrupt=*/true}}, kKillAfterSeconds);
  EXPECT_LT(std::chrono::steady_clock::now() - pressed, 5s);
  EXPECT_EQ(interrupted.exitStatus, 1) << interrupted.terminal;
  EXPECT_THAT(interrupted.terminal, HasSubstr("Unauthorized"));
  EXPECT_TRUE(interrupted.echoAtEnd);
  EXPECT_EQ(setup->Printer("Laser").Jobs().size(), 2u);
}

}  // namespace
}  // namespace brisakett
