// The warm-up core against a real CUPS scheduler of the test's own, whose
// printers are capture printers on loopback ports.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "capture_server.h"
#include "child_process.h"
#include "cups/cups_printer_catalog.h"
#include "cups/cups_spooler.h"
#include "current_printer.h"
#include "messages.h"
#include "printing_setup.h"
#include "require_scheduler.h"
#include "private_cupsd.h"
#include "warmup_job.h"
#include "warmup_stream.h"

namespace brisakett {
namespace {

using namespace std::chrono_literals;
using testing::PrintingSetup;
using testing::PrivateCupsd;
using testing::StartPrinting;
using testing::SpooledJob;
using tools::CaptureServer;

constexpr auto kJobTimeout = 20s;


std::vector<std::string> Listed(const PrinterCatalog& catalog) {
  Deadline deadline(kServerPatience);
  return catalog.DeviceNames(deadline).value;
}

std::optional<std::string> DefaultOf(const PrinterCatalog& catalog) {
  Deadline deadline(kServerPatience);
  return catalog.DefaultDeviceName(deadline).value;
}

JobResult Submit(Spooler& spooler, const std::string& name) {
  Deadline deadline(kServerPatience);
  return SubmitWarmUpJob(spooler, name, deadline);
}

// The real catalog and spooler, as the program makes them.
struct RealCups {
  SpoolerLogin login;
  CupsPrinterCatalog catalog_{login};
  CupsSpooler spooler_{login};
};

std::vector<SpooledJob> JobsAfter(const std::vector<SpooledJob>& jobs, std::size_t already) {
  return {jobs.begin() + static_cast<std::ptrdiff_t>(already), jobs.end()};
}

// ---------------------------------------------------------------------------
// A scheduler with three printers, added out of name order, one that rejects
// jobs, and "Beta" as the default.
class WarmUpThroughCups : public ::testing::Test, public RealCups {
protected:
  static void SetUpTestSuite() {
    setup_ = StartPrinting({"Gamma", "Alpha", "Beta", "Closed"}, "Beta", {"Closed"}).release();
  }
  static void TearDownTestSuite() {
    delete setup_;
    setup_ = nullptr;
  }
  void SetUp() override { REQUIRE_SCHEDULER(*setup_); }

  PrivateCupsd& Cupsd() { return *setup_->cupsd; }
  CaptureServer& Printer(const std::string& queue) { return setup_->Printer(queue); }

  static PrintingSetup* setup_;
};

PrintingSetup* WarmUpThroughCups::setup_ = nullptr;

TEST_F(WarmUpThroughCups, EveryPrinterReceivesTheExactStreamAsOneJob) {
  for (const std::string queue : {"Alpha", "Beta", "Gamma"}) {
    SCOPED_TRACE(queue);
    std::map<std::string, std::size_t> before;
    for (const auto& [name, printer] : setup_->printers) before[name] = printer->Jobs().size();

    CurrentPrinter current = CurrentPrinter::FromDefault(catalog_);
    const WarmUpOutcome outcome = RunWarmUp(catalog_, current, spooler_, queue);
    EXPECT_EQ(outcome.status, WarmUpOutcome::Status::Sent) << outcome.message;
    EXPECT_EQ(outcome.message, messages::kCommandExecuted);

    ASSERT_TRUE(Printer(queue).WaitForJobs(before[queue] + 1, kJobTimeout)) << Cupsd().ErrorLog();
    const std::vector<std::string> jobs = Printer(queue).Jobs();
    ASSERT_EQ(jobs.size(), before[queue] + 1);
    EXPECT_EQ(jobs.back(), kWarmUpStream);

    for (const auto& [name, printer] : setup_->printers) {
      if (name != queue) {
        EXPECT_EQ(printer->Jobs().size(), before[name]) << name;
      }
    }
  }
}

TEST_F(WarmUpThroughCups, JobIsNamedCommandPrintAndCountsOnePage) {
  const std::size_t jobsBefore = Cupsd().Jobs().size();
  ASSERT_TRUE(Submit(spooler_, "Alpha").accepted);
  ASSERT_TRUE(Cupsd().WaitForCompletedJobs(jobsBefore + 1, kJobTimeout)) << Cupsd().ErrorLog();

  const std::vector<SpooledJob> jobs = JobsAfter(Cupsd().Jobs(), jobsBefore);
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].queue, "Alpha");
  EXPECT_EQ(jobs[0].title, "Command Print");
  EXPECT_EQ(jobs[0].state, "completed");
  EXPECT_EQ(jobs[0].pages, 1);
  EXPECT_THAT(Cupsd().PageLog(),
              ::testing::HasSubstr("Alpha " + std::to_string(jobs[0].id) +
                                   " total 1 Command Print\n"));
}

TEST_F(WarmUpThroughCups, TwoPressesGiveTwoSeparateJobs) {
  const std::size_t jobsBefore = Cupsd().Jobs().size();
  const std::size_t receivedBefore = Printer("Gamma").Jobs().size();
  CurrentPrinter current = CurrentPrinter::FromDefault(catalog_);
  ASSERT_EQ(current.DeviceName(), "Beta");

  for (int press = 0; press < 2; ++press) {
    EXPECT_EQ(RunWarmUp(catalog_, current, spooler_, "Gamma").status,
              WarmUpOutcome::Status::Sent);
    EXPECT_EQ(current.DeviceName(), "Beta") << "the printer current before is current again";
  }

  ASSERT_TRUE(Printer("Gamma").WaitForJobs(receivedBefore + 2, kJobTimeout)) << Cupsd().ErrorLog();
  const std::vector<std::string> received = Printer("Gamma").Jobs();
  EXPECT_THAT(std::vector<std::string>(received.begin() + receivedBefore, received.end()),
              ::testing::ElementsAre(kWarmUpStream, kWarmUpStream));

  ASSERT_TRUE(Cupsd().WaitForCompletedJobs(jobsBefore + 2, kJobTimeout));
  const std::vector<SpooledJob> jobs = JobsAfter(Cupsd().Jobs(), jobsBefore);
  ASSERT_EQ(jobs.size(), 2u);
  EXPECT_NE(jobs[0].id, jobs[1].id);
  for (const SpooledJob& job : jobs) {
    EXPECT_EQ(job.queue, "Gamma");
    EXPECT_EQ(job.title, "Command Print");
    EXPECT_EQ(job.pages, 1);
  }
}

TEST_F(WarmUpThroughCups, CatalogListsTheSchedulersPrintersInItsOrderWithItsDefault) {
  // lpstat -e asks the same scheduler for its printers.
  const testing::ProgramRun lpstat =
      testing::RunProgram({testing::FindProgram("lpstat"), "-e"});
  ASSERT_EQ(lpstat.exitStatus, 0) << lpstat.output;
  std::vector<std::string> listed;
  std::istringstream lines(lpstat.output);
  for (std::string line; std::getline(lines, line);) listed.push_back(line);

  EXPECT_THAT(Listed(catalog_),
              ::testing::AllOf(::testing::ElementsAreArray(listed),
                               ::testing::UnorderedElementsAre("Alpha", "Beta", "Closed", "Gamma")));
  EXPECT_EQ(DefaultOf(catalog_), "Beta");
  EXPECT_EQ(CurrentPrinter::FromDefault(catalog_).DeviceName(), "Beta");
}

TEST_F(WarmUpThroughCups, UnknownOrDifferentlyCasedNamesSendNothing) {
  const std::size_t jobsBefore = Cupsd().Jobs().size();
  CurrentPrinter current = CurrentPrinter::FromDefault(catalog_);

  // CUPS itself would take "alpha" for "Alpha"; the program must not.
  for (const std::string name : {"alpha", "ALPHA", "Alpha ", "Combo1", "Delta", ""}) {
    SCOPED_TRACE("'" + name + "'");
    const WarmUpOutcome outcome = RunWarmUp(catalog_, current, spooler_, name);
    EXPECT_EQ(outcome.status, WarmUpOutcome::Status::NotRecognized);
    EXPECT_EQ(outcome.message, messages::kPrinterNotRecognized);
    EXPECT_EQ(current.DeviceName(), "Beta");
  }

  EXPECT_EQ(Cupsd().Jobs().size(), jobsBefore);
  EXPECT_TRUE(Submit(spooler_, "Delta").failure.unknownPrinter);
  EXPECT_EQ(Cupsd().Jobs().size(), jobsBefore);
}

TEST_F(WarmUpThroughCups, RejectingPrinterFailsWithTheSchedulersReasonAndKeepsNoJob) {
  // lp, refused by the same queue, prints "PROGRAM: " and the scheduler's
  // reason.
  const testing::ProgramRun lp = testing::RunProgram(
      {testing::FindProgram("lp"), "-h", Cupsd().SocketPath(), "-d", "Closed"});
  ASSERT_NE(lp.exitStatus, 0);
  const std::size_t colon = lp.output.find(": ");
  ASSERT_NE(colon, std::string::npos) << lp.output;
  const std::string reason =
      lp.output.substr(colon + 2, lp.output.find_last_not_of('\n') - colon - 1);

  CurrentPrinter current = CurrentPrinter::FromDefault(catalog_);
  const WarmUpOutcome outcome = RunWarmUp(catalog_, current, spooler_, "Closed");
  EXPECT_EQ(outcome.status, WarmUpOutcome::Status::Failed);
  EXPECT_EQ(outcome.message, std::string(messages::kCommandFailed) + "\n" + reason);
  EXPECT_EQ(current.DeviceName(), "Beta");

  for (const SpooledJob& job : Cupsd().Jobs()) EXPECT_NE(job.queue, "Closed") << job.id;
  EXPECT_TRUE(Printer("Closed").Jobs().empty());
}

// The real spooler, with one call made to fail after it did its work: the
// document is fully sent but its end is never acknowledged. What was sent
// must not print; the job must be cancelled.
class FailingAtSpooler final : public Spooler {
public:
  FailingAtSpooler(Spooler& real, std::string failAt) : real_(real), failAt_(std::move(failAt)) {}

  std::unique_ptr<SpoolerPrinter> Open(const std::string& deviceName, Deadline& deadline,
                                       SpoolerFailure& failure) override {
    std::unique_ptr<SpoolerPrinter> printer = real_.Open(deviceName, deadline, failure);
    if (!printer) return nullptr;
    return std::make_unique<Printer>(std::move(printer), failAt_);
  }

private:
  class Printer final : public SpoolerPrinter {
  public:
    Printer(std::unique_ptr<SpoolerPrinter> real, std::string failAt)
        : real_(std::move(real)), failAt_(std::move(failAt)) {}
    bool StartDoc(const std::string& name) override { return real_->StartDoc(name); }
    bool StartPage() override { return real_->StartPage(); }
    bool Write(std::string_view data, std::size_t& written) override {
      const bool sent = real_->Write(data, written);
      return sent && failAt_ != "Write";
    }
    bool EndPage() override { return real_->EndPage(); }
    bool EndDoc() override { return failAt_ != "EndDoc" && real_->EndDoc(); }
    void Abort() override { real_->Abort(); }
    int JobId() const override { return real_->JobId(); }
    SpoolerFailure LastFailure() const override {
      return ServerAnswer{ServerVerdict::Refused, "injected failure"};
    }

  private:
    std::unique_ptr<SpoolerPrinter> real_;
    std::string failAt_;
  };

  Spooler& real_;
  std::string failAt_;
};

TEST_F(WarmUpThroughCups, FailureAfterTheDataWasSentCancelsTheJobBeforeItPrints) {
  for (const std::string failAt : {"Write", "EndDoc"}) {
    SCOPED_TRACE(failAt);
    const std::size_t jobsBefore = Cupsd().Jobs().size();
    const std::size_t printedBefore = Printer("Gamma").Jobs().size();
    FailingAtSpooler spooler(spooler_, failAt);

    const JobResult result = Submit(spooler, "Gamma");
    EXPECT_FALSE(result.accepted);
    EXPECT_EQ(result.failure.verdict, ServerVerdict::Refused);

    const std::vector<SpooledJob> jobs = JobsAfter(Cupsd().Jobs(), jobsBefore);
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].state, "canceled");
    // Give a printing job time to reach the printer, were it printing.
    EXPECT_FALSE(Printer("Gamma").WaitForJobs(printedBefore + 1, std::chrono::seconds(2)));
  }
}

// ---------------------------------------------------------------------------
class CupsWithoutDefault : public ::testing::Test, public RealCups {
protected:
  static void SetUpTestSuite() { setup_ = StartPrinting({"Alpha"}, std::nullopt).release(); }
  static void TearDownTestSuite() {
    delete setup_;
    setup_ = nullptr;
  }
  void SetUp() override { REQUIRE_SCHEDULER(*setup_); }

  static PrintingSetup* setup_;
};

PrintingSetup* CupsWithoutDefault::setup_ = nullptr;

TEST_F(CupsWithoutDefault, NoPrinterIsCurrentAndTheChosenOneStaysCurrentAfterAWarmUp) {
  EXPECT_THAT(Listed(catalog_), ::testing::ElementsAre("Alpha"));
  // The scheduler's word that there is none, not a question unanswered.
  Deadline deadline(kServerPatience);
  const SpoolerAnswer<std::optional<std::string>> none = catalog_.DefaultDeviceName(deadline);
  EXPECT_TRUE(none.Answered()) << none.reason;
  EXPECT_EQ(none.value, std::nullopt);
  CurrentPrinter current = CurrentPrinter::FromDefault(catalog_);
  EXPECT_FALSE(current.HasPrinter());

  // There is nothing to go back to, so the chosen printer stays current.
  EXPECT_EQ(RunWarmUp(catalog_, current, spooler_, "Alpha").status, WarmUpOutcome::Status::Sent);
  EXPECT_EQ(current.DeviceName(), "Alpha");
  EXPECT_TRUE(setup_->Printer("Alpha").WaitForJobs(1, kJobTimeout));
}

// ---------------------------------------------------------------------------
class StoppedScheduler : public ::testing::Test, public RealCups {
protected:
  static void SetUpTestSuite() { setup_ = StartPrinting({"Alpha"}, "Alpha").release(); }
  static void TearDownTestSuite() {
    delete setup_;
    setup_ = nullptr;
  }
  void SetUp() override { REQUIRE_SCHEDULER(*setup_); }

  static PrintingSetup* setup_;
};

PrintingSetup* StoppedScheduler::setup_ = nullptr;

TEST_F(StoppedScheduler, ListsNothingAndAnswersQuicklyWithoutSuccess) {
  // Made current while the scheduler still ran, as a window open since then.
  CurrentPrinter current = CurrentPrinter::FromDefault(catalog_);
  ASSERT_EQ(current.DeviceName(), "Alpha");
  setup_->cupsd->Stop();

  const auto start = std::chrono::steady_clock::now();
  EXPECT_THAT(Listed(catalog_), ::testing::IsEmpty());
  EXPECT_EQ(DefaultOf(catalog_), std::nullopt);
  // An outage is told as one, not as a typo.
  const WarmUpOutcome outcome = RunWarmUp(catalog_, current, spooler_, "Alpha");
  EXPECT_EQ(outcome.status, WarmUpOutcome::Status::Unreachable);
  EXPECT_EQ(outcome.message, std::string(messages::kCommandFailed) +
                                 "\nThe print server localhost cannot be reached.");
  EXPECT_EQ(current.DeviceName(), "Alpha");
  EXPECT_EQ(Submit(spooler_, "Alpha").failure.verdict, ServerVerdict::Unreachable);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);

  EXPECT_TRUE(setup_->Printer("Alpha").Jobs().empty());
}

TEST_F(StoppedScheduler, PrintsAgainOnceTheSchedulerIsBack) {
  setup_->cupsd->Stop();
  EXPECT_THAT(Listed(catalog_), ::testing::IsEmpty());
  ASSERT_TRUE(setup_->cupsd->Restart(&setup_->why)) << setup_->why;

  const std::size_t receivedBefore = setup_->Printer("Alpha").Jobs().size();
  CurrentPrinter current = CurrentPrinter::FromDefault(catalog_);
  EXPECT_EQ(RunWarmUp(catalog_, current, spooler_, "Alpha").status, WarmUpOutcome::Status::Sent);
  EXPECT_TRUE(setup_->Printer("Alpha").WaitForJobs(receivedBefore + 1, kJobTimeout))
      << setup_->cupsd->ErrorLog();
}

}  // namespace
}  // namespace brisakett
