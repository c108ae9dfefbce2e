// Users with a central print server reach it over TCP (CUPS_SERVER=HOST:PORT)
// rather than the local socket: the same warm-up must work there, from the
// core and from brisakett-send.

#include <cups/cups.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <vector>
#include <string>

#include "child_process.h"
#include "cups/cups_printer_catalog.h"
#include "cups/cups_spooler.h"
#include "printing_setup.h"
#include "silent_server.h"
#include "require_scheduler.h"
#include "current_printer.h"
#include "warmup_job.h"
#include "warmup_stream.h"

namespace brisakett {
namespace {

using namespace std::chrono_literals;

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
}

}  // namespace
}  // namespace brisakett
