// The Windows build of brisakett-send, run under Wine, against a private
// CUPS scheduler of this test: Wine's spooler hands every job to the
// scheduler named by CUPS_SERVER, whose queues print to capture printers.
// So the Win32 spooler calls (OpenPrinterW ... EndDocPrinter) are checked
// where it counts, at the printer. The window tests of the Windows build
// run the same way: they check what the user sees, this program what
// reached the printers.
//
// scripts/test-windows runs this with BRISAKETT_WINDOWS_BIN naming the
// cross-build's bin folder and WINEPREFIX naming a prepared Wine prefix.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <thread>
#include <string>
#include <vector>

#include "capture_server.h"
#include "child_process.h"
#include "printing_setup.h"
#include "private_cupsd.h"
#include "warmup_stream.h"

namespace brisakett {
namespace {

using namespace std::chrono_literals;
using testing::PrivateCupsd;
using testing::SpooledJob;
using tools::CaptureServer;

constexpr auto kJobTimeout = 30s;

// A name outside every ANSI code page: the program must hand it to the
// spooler as UTF-16 to reach this printer.
const std::string kWideName = "Drucker-\u03a9";

// Runs a program of the Windows build under Wine, its standard output and
// error kept apart as the bytes the program wrote.
testing::SeparateProgramRun RunUnderWine(const std::string& program,
                                         const std::vector<std::string>& arguments) {
  const char* bin = std::getenv("BRISAKETT_WINDOWS_BIN");
  const char* wineVariable = std::getenv("BRISAKETT_WINE");
  const std::string wine = wineVariable ? wineVariable : testing::FindProgram("wine");
  std::vector<std::string> command = {wine, std::string(bin ? bin : "") + "/" + program};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return testing::RunProgramApart(command);
}

testing::SeparateProgramRun SendUnderWine(const std::vector<std::string>& arguments) {
  return RunUnderWine("brisakett-send.exe", arguments);
}

// Wine's spooler runs inside the program, and with several jobs side by
// side it now and then corrupts its heap (the program then dies in malloc
// or free, and Wine's debugger says "Unhandled exception") or holds one
// call for seconds, so that a printer reads as a print server that did
// not answer: in about one run in ten here (wine 8.0), with the spooler's
// calls taken in turn too. A Windows spooler is a service of its own and
// does neither.
bool WineFaulted(const testing::SeparateProgramRun& run) {
  for (const std::string* text : {&run.out, &run.err}) {
    if (text->find("Unhandled") != std::string::npos) return true;
    if (text->find("did not answer within") != std::string::npos) return true;
  }
  return false;
}

// The scheduler reports a job's queue as it appears in the printer's URI.
std::string PercentDecoded(const std::string& text) {
  std::string decoded;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      decoded += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      decoded += text[i];
    }
  }
  return decoded;
}

// Gamma, Alpha, Beta (the default), Closed (refuses jobs) and kWideName,
// each printing to a capture printer of its own.
class BrisakettSendUnderWine : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    why_ = new std::string;
    cupsd_ = PrivateCupsd::Start(why_).release();
    if (!cupsd_) return;
    printers_ = new std::map<std::string, std::unique_ptr<CaptureServer>>;
    for (const std::string queue : {"Gamma", "Alpha", "Beta", "Closed", kWideName.c_str()}) {
      auto printer = std::make_unique<CaptureServer>();
      if (!cupsd_->AddQueue(queue, printer->Port(), why_)) return Abandon();
      printers_->emplace(queue, std::move(printer));
    }
    if (!cupsd_->SetDefault("Beta", why_) || !cupsd_->Reject("Closed", why_)) Abandon();
  }
  static void TearDownTestSuite() {
    Abandon();
    delete printers_;
    printers_ = nullptr;
    delete why_;
    why_ = nullptr;
  }
  static void Abandon() {
    delete cupsd_;
    cupsd_ = nullptr;
  }

  void SetUp() override {
    ASSERT_NE(std::getenv("BRISAKETT_WINDOWS_BIN"), nullptr)
        << "set BRISAKETT_WINDOWS_BIN to the Windows build's bin folder (scripts/test-windows)";
    ASSERT_NE(cupsd_, nullptr) << "no private cupsd: " << *why_;
  }

  CaptureServer& Printer(const std::string& queue) { return *printers_->at(queue); }

  // What the printers had received once the scheduler held no job still
  // to print.
  std::map<std::string, std::size_t> SettledCounts() {
    const auto until = std::chrono::steady_clock::now() + kJobTimeout;
    for (;;) {
      const std::vector<SpooledJob> jobs = cupsd_->Jobs();
      const bool printing = std::any_of(jobs.begin(), jobs.end(), [](const SpooledJob& job) {
        return job.state == "pending" || job.state == "processing";
      });
      if (!printing || std::chrono::steady_clock::now() >= until) break;
      std::this_thread::sleep_for(100ms);
    }
    std::this_thread::sleep_for(200ms);  // the printer counts a job when its connection ends
    return ReceivedCounts();
  }

  std::map<std::string, std::size_t> ReceivedCounts() {
    std::map<std::string, std::size_t> counts;
    for (const auto& [queue, printer] : *printers_) counts[queue] = printer->Jobs().size();
    return counts;
  }

  // Checks that `queue`, and no other printer, received the stream once
  // more, in a completed job "Command Print" of one page.
  void ExpectOneWarmUpAt(const std::string& queue,
                         const std::map<std::string, std::size_t>& receivedBefore,
                         std::size_t jobsBefore) {
    ASSERT_TRUE(Printer(queue).WaitForJobs(receivedBefore.at(queue) + 1, kJobTimeout))
        << cupsd_->ErrorLog();
    EXPECT_EQ(Printer(queue).Jobs().back(), kWarmUpStream);
    for (const auto& [name, count] : ReceivedCounts()) {
      EXPECT_EQ(count, receivedBefore.at(name) + (name == queue ? 1 : 0)) << name;
    }
    ASSERT_TRUE(cupsd_->WaitForCompletedJobs(jobsBefore + 1, kJobTimeout));
    const std::vector<SpooledJob> jobs = cupsd_->Jobs();
    ASSERT_EQ(jobs.size(), jobsBefore + 1);
    EXPECT_EQ(PercentDecoded(jobs.back().queue), queue);
    EXPECT_EQ(jobs.back().title, "Command Print");
    EXPECT_EQ(jobs.back().pages, 1);
  }

  static PrivateCupsd* cupsd_;
  static std::map<std::string, std::unique_ptr<CaptureServer>>* printers_;
  static std::string* why_;
};

PrivateCupsd* BrisakettSendUnderWine::cupsd_ = nullptr;
std::map<std::string, std::unique_ptr<CaptureServer>>* BrisakettSendUnderWine::printers_ = nullptr;
std::string* BrisakettSendUnderWine::why_ = nullptr;

TEST_F(BrisakettSendUnderWine, ListsTheSchedulersPrintersAndMarksTheDefault) {
  const testing::SeparateProgramRun run = SendUnderWine({"--list"});
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  std::vector<std::string> lines;
  std::istringstream text(run.out);
  for (std::string line; std::getline(text, line);) {
    EXPECT_TRUE(!line.empty() && line.back() == '\r') << "Windows line end expected";
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(lines, (std::vector<std::string>{"  Alpha", "  Closed", "  " + kWideName, "  Gamma",
                                             "* Beta"}));
}

TEST_F(BrisakettSendUnderWine, SendsTheStreamByteForByteAsOneJobOfOnePage) {
  const auto receivedBefore = ReceivedCounts();
  const std::size_t jobsBefore = cupsd_->Jobs().size();
  const testing::SeparateProgramRun run = SendUnderWine({"Alpha"});
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(run.out, "Kommando ausgef\xc3\xbchrt\r\n");
  EXPECT_EQ(run.err, "");
  ExpectOneWarmUpAt("Alpha", receivedBefore, jobsBefore);
}

TEST_F(BrisakettSendUnderWine, WakesTheDefaultPrinterAndOneNamedOutsideTheAnsiCodePage) {
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{}, std::vector<std::string>{kWideName}}) {
    const std::string queue = arguments.empty() ? "Beta" : kWideName;
    SCOPED_TRACE(queue);
    const auto receivedBefore = ReceivedCounts();
    const std::size_t jobsBefore = cupsd_->Jobs().size();
    const testing::SeparateProgramRun run = SendUnderWine(arguments);
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    ExpectOneWarmUpAt(queue, receivedBefore, jobsBefore);
  }
}

TEST_F(BrisakettSendUnderWine, RefusedJobFailsWithTheReasonAndNothingArrives) {
  const auto receivedBefore = ReceivedCounts();
  const testing::SeparateProgramRun run = SendUnderWine({"Closed"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.out, "");
  // Wine reports the refusal at EndDocPrinter with a code of its own;
  // whatever the words, they follow the heading on a line of their own.
  const std::string heading = "Kommando fehlgeschlagen\r\n";
  ASSERT_EQ(run.err.substr(0, heading.size()), heading) << run.err;
  EXPECT_GT(run.err.size(), heading.size() + 2);
  EXPECT_EQ(run.err.substr(run.err.size() - 2), "\r\n");

  std::this_thread::sleep_for(1s);  // a job would have reached the printer by now
  EXPECT_EQ(ReceivedCounts(), receivedBefore);
  for (const SpooledJob& job : cupsd_->Jobs()) EXPECT_NE(job.queue, "Closed") << job.id;
}

TEST_F(BrisakettSendUnderWine, UnknownPrintersAndWrongCommandLinesHaveTheirOwnStatus) {
  const std::size_t jobsBefore = cupsd_->Jobs().size();

  testing::SeparateProgramRun run = SendUnderWine({"alpha"});
  EXPECT_EQ(run.exitStatus, 3);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "The Printer Name you typed wasn't recognized.\r\n");

  run = SendUnderWine({"--all", "Alpha"});
  EXPECT_EQ(run.exitStatus, 2);
  EXPECT_EQ(run.out, "");

  run = SendUnderWine({"--version"});
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(run.out, "Brisakett 1.00\r\n");

  EXPECT_EQ(cupsd_->Jobs().size(), jobsBefore);
}

// --all through the Windows spooler, each job followed with GetJobW: the
// printers that take jobs have them, the refusing one is reported, and the
// JSON lines carry it all.
//
// What Wine can show of the following: its spooler hands a job to CUPS in
// EndDocPrinter and forgets it there and then, so the first GetJobW finds
// no job, and fails without an error code, never having reported it
// printing or printed. Nor has Wine change notifications
// (FindFirstPrinterChangeNotification is a stub), nor print servers to
// lose. So every accepted job reads "unknown" here: that it left the
// spooler without a word of how it ended, told apart from "delivered",
// which Windows gives when its spooler last said the job was printing.
// The mapping of job states and error codes is checked by win32_tests.
//
// A run that Wine's spooler broke (WineFaulted) is tried again, up to three
// times in all: a fault of the program's own breaks every one.
TEST_F(BrisakettSendUnderWine, WakesEveryPrinterAndFollowsTheJobs) {
  std::map<std::string, std::size_t> receivedBefore;
  testing::SeparateProgramRun run;
  for (int attempt = 1; attempt <= 3; ++attempt) {
    receivedBefore = SettledCounts();
    run = SendUnderWine({"--all", "--wait=30", "--json"});
    if (!WineFaulted(run)) break;
    std::cerr << "Wine's spooler broke run " << attempt << ":\n" << run.out << run.err << "\n";
  }
  // The refusal (1) is worse than the unknown outcomes (8).
  EXPECT_EQ(run.exitStatus, 1) << run.out << run.err;
  std::map<std::string, nlohmann::json> objects;
  std::istringstream text(run.out);
  for (std::string line; std::getline(text, line);) {
    const nlohmann::json object = nlohmann::json::parse(line);
    objects[object.at("name")] = object;
  }
  ASSERT_EQ(objects.size(), 5u) << run.out;
  for (const std::string queue : {"Alpha", "Beta", "Gamma", kWideName.c_str()}) {
    SCOPED_TRACE(queue);
    EXPECT_EQ(objects[queue]["outcome"], "unknown") << objects[queue].dump();
    EXPECT_NE(objects[queue]["reason"], "");
    EXPECT_GT(objects[queue]["job_id"].get<int>(), 0);
    ASSERT_TRUE(Printer(queue).WaitForJobs(receivedBefore.at(queue) + 1, kJobTimeout));
    EXPECT_EQ(Printer(queue).Jobs().back(), kWarmUpStream);
  }
  EXPECT_EQ(objects["Closed"]["outcome"], "refused");
  EXPECT_NE(objects["Closed"]["reason"], "");
  std::this_thread::sleep_for(1s);  // a second job would have arrived by now
  for (const auto& [queue, count] : ReceivedCounts()) {
    EXPECT_EQ(count, receivedBefore.at(queue) + (queue == "Closed" ? 0 : 1)) << queue;
  }
}

TEST_F(BrisakettSendUnderWine, AJobWineForgetsAtOnceIsUnknownNotDelivered) {
  const auto receivedBefore = ReceivedCounts();
  const testing::SeparateProgramRun run = SendUnderWine({"--wait=30", "--json", "Gamma"});
  EXPECT_EQ(run.exitStatus, 8) << run.out << run.err;
  const nlohmann::json object = nlohmann::json::parse(run.out);
  EXPECT_EQ(object["outcome"], "unknown");
  EXPECT_EQ(object["reason"], "the spooler no longer knows the job and did not say how it ended");
  ASSERT_TRUE(Printer("Gamma").WaitForJobs(receivedBefore.at("Gamma") + 1, kJobTimeout));
}

// The scheduler that the window tests form1_cups_test and
// form1_bad_input_test expect: Laser (refusing jobs), Tinte (the default)
// and Zentrale.
class WindowTestsUnderWine : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    setup_ = testing::StartPrinting({"Laser", "Tinte", "Zentrale"}, "Tinte", {"Laser"}).release();
  }
  static void TearDownTestSuite() {
    delete setup_;
    setup_ = nullptr;
  }
  void SetUp() override {
    ASSERT_NE(std::getenv("BRISAKETT_WINDOWS_BIN"), nullptr)
        << "set BRISAKETT_WINDOWS_BIN to the Windows build's bin folder (scripts/test-windows)";
    ASSERT_NE(setup_->cupsd, nullptr) << "no private cupsd: " << setup_->why;
  }
  static PrivateCupsd& Cupsd() { return *setup_->cupsd; }
  static std::size_t ReceivedCount() {
    std::size_t count = 0;
    for (const auto& [queue, printer] : setup_->printers) count += printer->Jobs().size();
    return count;
  }

  static testing::PrintingSetup* setup_;
};

testing::PrintingSetup* WindowTestsUnderWine::setup_ = nullptr;

TEST_F(WindowTestsUnderWine, OkInTheWindowWakesTheChosenPrinterAndNoOther) {
  const testing::SeparateProgramRun run = RunUnderWine("form1_cups_test.exe", {});
  ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;

  CaptureServer& zentrale = setup_->Printer("Zentrale");
  ASSERT_TRUE(zentrale.WaitForJobs(1, kJobTimeout)) << Cupsd().ErrorLog();
  EXPECT_EQ(zentrale.Jobs(), std::vector<std::string>{std::string(kWarmUpStream)});
  ASSERT_TRUE(Cupsd().WaitForCompletedJobs(1, kJobTimeout));
  const std::vector<SpooledJob> jobs = Cupsd().Jobs();
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(PercentDecoded(jobs[0].queue), "Zentrale");
  EXPECT_EQ(jobs[0].title, "Command Print");
  EXPECT_EQ(jobs[0].pages, 1);
  EXPECT_EQ(ReceivedCount(), 1u);
}

TEST_F(WindowTestsUnderWine, BadInputInTheWindowSendsNothing) {
  const std::size_t jobsBefore = Cupsd().Jobs().size();
  const std::size_t receivedBefore = ReceivedCount();
  const testing::SeparateProgramRun run = RunUnderWine("form1_bad_input_test.exe", {});
  ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;

  std::this_thread::sleep_for(1s);  // a job would have reached the printer by now
  EXPECT_EQ(Cupsd().Jobs().size(), jobsBefore);
  EXPECT_EQ(ReceivedCount(), receivedBefore);
}

}  // namespace
}  // namespace brisakett
