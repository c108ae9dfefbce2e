#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "win32/job_history.h"
#include "win32/spooler_error.h"
#include "win32/system_error_text.h"
#include "win32/win32_spooler.h"
#include "win32/within_deadline.h"

namespace brisakett {
namespace {

using namespace std::chrono_literals;

TEST(SpoolerFailureOf, TellsAWrongNameARefusalAndALostServerApart) {
  const SpoolerFailure wrongName = SpoolerFailureOf(ERROR_INVALID_PRINTER_NAME, "localhost");
  EXPECT_TRUE(wrongName.unknownPrinter);
  EXPECT_EQ(wrongName.verdict, ServerVerdict::Refused);

  const SpoolerFailure denied = SpoolerFailureOf(ERROR_ACCESS_DENIED, "localhost");
  EXPECT_FALSE(denied.unknownPrinter);
  EXPECT_EQ(denied.verdict, ServerVerdict::Refused);
  EXPECT_EQ(denied.reason, SystemErrorText(ERROR_ACCESS_DENIED));

  for (const DWORD code : {RPC_S_SERVER_UNAVAILABLE, RPC_S_CALL_FAILED, ERROR_BAD_NETPATH,
                           ERROR_NETWORK_UNREACHABLE}) {
    SCOPED_TRACE(code);
    const SpoolerFailure lost = SpoolerFailureOf(code, "druckserver");
    EXPECT_EQ(lost.verdict, ServerVerdict::Unreachable);
    EXPECT_FALSE(lost.unknownPrinter);
    EXPECT_NE(lost.reason.find("druckserver"), std::string::npos) << lost.reason;
  }

  // A failure that set no error still has a reason, and not "success".
  const SpoolerFailure silent = SpoolerFailureOf(ERROR_SUCCESS, "localhost");
  EXPECT_EQ(silent.verdict, ServerVerdict::Refused);
  EXPECT_FALSE(silent.reason.empty());
  EXPECT_NE(silent.reason, SystemErrorText(ERROR_SUCCESS));

  EXPECT_EQ(SpoolerTimedOut("druckserver").verdict, ServerVerdict::TimedOut);
  EXPECT_EQ(SpoolerTimedOut("druckserver").reason,
            "The print server druckserver did not answer within 3 seconds.");
}

TEST(PrintServerOf, TheConnectionsServerOrThisComputer) {
  EXPECT_EQ(PrintServerOf("\\\\druckserver\\Laser 3"), "druckserver");
  EXPECT_EQ(PrintServerOf("Laser 3"), "localhost");
  EXPECT_EQ(PrintServerOf("\\\\"), "localhost");
}

// Wine's spooler answers a name it does not have as Windows does.
TEST(Win32Spooler, AnUnknownNameIsNotRecognizedNotRefused) {
  Win32Spooler spooler;
  Deadline deadline(kServerPatience);
  SpoolerFailure failure;
  EXPECT_EQ(spooler.Open("No Such Printer 7f3a", deadline, failure), nullptr);
  EXPECT_TRUE(failure.unknownPrinter) << failure.reason;
  EXPECT_FALSE(failure.reason.empty());
}

// Stands for a printer handle: counts its closing.
struct Held {
  explicit Held(std::shared_ptr<std::atomic<int>> closed) : closed(std::move(closed)) {}
  Held(Held&& other) noexcept : closed(std::move(other.closed)) {}
  ~Held() {
    if (closed) ++*closed;
  }
  std::shared_ptr<std::atomic<int>> closed;
};

TEST(WithinDeadline, LeavesASlowCallBehindAndItsLateResultIsReleased) {
  auto closed = std::make_shared<std::atomic<int>>(0);
  const Deadline deadline(100ms);
  const auto started = std::chrono::steady_clock::now();
  const std::optional<Held> late = WithinDeadline(deadline, [closed] {
    std::this_thread::sleep_for(600ms);
    return Held(closed);
  });
  EXPECT_FALSE(late.has_value());
  EXPECT_LT(std::chrono::steady_clock::now() - started, 500ms);
  for (int i = 0; i < 200 && *closed == 0; ++i) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(*closed, 1);

  const std::optional<int> quick = WithinDeadline(Deadline(1s), [] { return 7; });
  EXPECT_EQ(quick, 7);
  EXPECT_FALSE(WithinDeadline(Deadline(0ms), [] { return 7; }).has_value());
}

JobReading Known(DWORD status, DWORD printerStatus = 0) {
  return {true, status, {}, printerStatus};
}
const JobReading kGone{};

TEST(JobHistory, AVanishedJobCountsAsPrintedOnlyWhenTheSpoolersLastWordWasPrinting) {
  JobHistory printed;
  EXPECT_EQ(printed.Take(Known(0)).state, JobLook::State::Waiting);
  EXPECT_EQ(printed.Take(Known(JOB_STATUS_SPOOLING | JOB_STATUS_PRINTING)).state,
            JobLook::State::Waiting);
  EXPECT_EQ(printed.Take(kGone).state, JobLook::State::Completed);

  JobHistory neverSeenPrinting;
  EXPECT_EQ(neverSeenPrinting.Take(Known(0)).state, JobLook::State::Waiting);
  const JobLook vanished = neverSeenPrinting.Take(kGone);
  EXPECT_EQ(vanished.state, JobLook::State::Vanished);
  EXPECT_FALSE(vanished.reason.empty());

  EXPECT_EQ(JobHistory().Take(kGone).state, JobLook::State::Vanished);

  // Printing, then stuck, then gone: perhaps deleted by someone.
  JobHistory stuck;
  stuck.Take(Known(JOB_STATUS_PRINTING));
  stuck.Take(Known(JOB_STATUS_PRINTING | JOB_STATUS_ERROR));
  EXPECT_EQ(stuck.Take(kGone).state, JobLook::State::Vanished);

  JobHistory kept;
  EXPECT_EQ(kept.Take(Known(JOB_STATUS_PRINTED)).state, JobLook::State::Completed);
  EXPECT_EQ(JobHistory().Take(Known(JOB_STATUS_DELETING)).state, JobLook::State::Canceled);
}

TEST(JobHistory, APrinterInErrorNeedsAttentionAndOnlyAnOfflineOneIsNotReachable) {
  const JobLook error = JobHistory().Take(Known(0, PRINTER_STATUS_ERROR));
  EXPECT_EQ(error.state, JobLook::State::Waiting);
  EXPECT_EQ(error.reason, "printer needs attention");
  for (const DWORD status :
       {PRINTER_STATUS_OFFLINE, PRINTER_STATUS_NOT_AVAILABLE, PRINTER_STATUS_SERVER_UNKNOWN}) {
    EXPECT_EQ(JobHistory().Take(Known(0, status | PRINTER_STATUS_ERROR)).reason,
              "printer not reachable");
  }
  EXPECT_EQ(JobHistory().Take(Known(0, PRINTER_STATUS_PAUSED)).reason, "queue stopped");
}

}  // namespace
}  // namespace brisakett
