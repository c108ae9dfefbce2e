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

}  // namespace
}  // namespace brisakett
