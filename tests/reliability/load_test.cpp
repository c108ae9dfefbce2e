// Many warm-ups in a row through the real scheduler: each must reach its
// printer as its own job of exactly the warm-up bytes, and the scheduler
// must list each one completed under its name.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

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
using testing::SpooledJob;

// Time for the scheduler to print what was submitted, on a slow CI machine.
constexpr auto kDrainTimeout = 240s;

// Presses "OK" once per entry of `targets`, in that order, and checks what
// the scheduler and every printer ended up with.
void WarmUpInTurn(testing::PrintingSetup& setup, const std::vector<std::string>& targets) {
  const SpoolerLogin login;
  CupsPrinterCatalog catalog(login);
  CupsSpooler spooler(login);
  CurrentPrinter current = CurrentPrinter::FromDefault(catalog);

  const auto start = std::chrono::steady_clock::now();
  for (std::size_t press = 0; press < targets.size(); ++press) {
    const WarmUpOutcome outcome = RunWarmUp(catalog, current, spooler, targets[press]);
    ASSERT_EQ(outcome.status, WarmUpOutcome::Status::Sent)
        << "press " << press << ": " << outcome.message;
  }
  const auto submitted = std::chrono::steady_clock::now();
  ASSERT_TRUE(setup.cupsd->WaitForCompletedJobs(targets.size(), kDrainTimeout))
      << setup.cupsd->ErrorLog();
  const auto printed = std::chrono::steady_clock::now();
  ::testing::Test::RecordProperty("submit_ms", static_cast<int>((submitted - start) / 1ms));
  ::testing::Test::RecordProperty("print_ms", static_cast<int>((printed - start) / 1ms));

  // The scheduler numbers jobs in the order it took them.
  const std::vector<SpooledJob> jobs = setup.cupsd->Jobs();
  ASSERT_EQ(jobs.size(), targets.size());
  for (std::size_t press = 0; press < targets.size(); ++press) {
    SCOPED_TRACE("press " + std::to_string(press));
    EXPECT_EQ(jobs[press].queue, targets[press]);
    EXPECT_EQ(jobs[press].title, "Command Print");
    EXPECT_EQ(jobs[press].state, "completed");
    EXPECT_EQ(jobs[press].pages, 1);
  }

  for (auto& [queue, printer] : setup.printers) {
    SCOPED_TRACE(queue);
    const auto expected = static_cast<std::size_t>(
        std::count(targets.begin(), targets.end(), queue));
    // A completed job has been received; a merged or duplicated one would
    // show as a wrong count or a longer job.
    EXPECT_TRUE(printer->WaitForJobs(expected, 5s));
    EXPECT_THAT(printer->Jobs(), ::testing::AllOf(::testing::SizeIs(expected),
                                                  ::testing::Each(std::string(kWarmUpStream))));
  }
}

TEST(Load, ThreeHundredWarmUpsInARowOnOneQueue) {
  auto setup = testing::StartPrinting({"Laser"}, "Laser");
  REQUIRE_SCHEDULER(*setup);
  WarmUpInTurn(*setup, std::vector<std::string>(300, "Laser"));
}

TEST(Load, OneHundredWarmUpsAlternatingOverThreeQueues) {
  const std::vector<std::string> queues{"Laser", "Tinte", "Zentrale"};
  auto setup = testing::StartPrinting(queues, queues.front());
  REQUIRE_SCHEDULER(*setup);
  std::vector<std::string> targets;
  for (std::size_t press = 0; press < 100; ++press) targets.push_back(queues[press % 3]);
  WarmUpInTurn(*setup, targets);
}

}  // namespace
}  // namespace brisakett
