#include <gtest/gtest.h>

#include "current_printer.h"
#include "fake_printing.h"
#include "messages.h"
#include "warmup_job.h"
#include "warmup_stream.h"

namespace brisakett {
namespace {

using testing::FakeCatalog;
using testing::FakeSpooler;
using Calls = std::vector<std::string>;

TEST(WarmUpStream, IsTheFiftyNineBytesOfTheTwoPjlCommands) {
  const std::string expected =
      "\x1B%-12345X@PJL Enter Language=PCL\x0D\x0A"
      "\x1B%-12345X@PJL BRISAKETT\x0D\x0A";
  EXPECT_EQ(expected.size(), 59u);
  EXPECT_EQ(std::string(kWarmUpStream), expected);
}

class WarmUp : public ::testing::Test {
protected:
  WarmUp() {
    catalog.names = {"Saved", "Laser", "Laser"};
    spooler.openable = {"Saved", "Laser"};
  }

  WarmUpOutcome Press(const std::string& text) {
    return RunWarmUp(catalog, current, spooler, text);
  }

  FakeCatalog catalog;
  FakeSpooler spooler;
  CurrentPrinter current{"Saved"};
};

TEST_F(WarmUp, SendsOneJobInOrderAndReturnsToTheSavedPrinter) {
  const WarmUpOutcome outcome = Press("Laser");
  EXPECT_EQ(outcome.status, WarmUpOutcome::Status::Sent);
  EXPECT_EQ(outcome.message, messages::kCommandExecuted);
  EXPECT_EQ(spooler.calls, (Calls{"Open Laser", "StartDoc Command Print", "StartPage",
                                  "Write 59", "EndPage", "EndDoc", "Close"}));
  EXPECT_EQ(spooler.writes, Calls{std::string(kWarmUpStream)});
  EXPECT_EQ(current.DeviceName(), "Saved");

  Press("Laser");
  EXPECT_EQ(spooler.writes.size(), 2u) << "each press is its own job";
}

TEST_F(WarmUp, UnknownNameIsNotRecognizedAndTouchesNothing) {
  for (const char* text : {"Combo1", "laser", "", "Laser "}) {
    const WarmUpOutcome outcome = Press(text);
    EXPECT_EQ(outcome.status, WarmUpOutcome::Status::NotRecognized) << text;
    EXPECT_EQ(outcome.message, messages::kPrinterNotRecognized);
  }
  EXPECT_TRUE(spooler.calls.empty());
  EXPECT_EQ(current.DeviceName(), "Saved");
}

TEST_F(WarmUp, OpenFailureLeavesTheChosenPrinterCurrent) {
  spooler.openable = {"Saved"};  // listed, but gone by the time it is opened
  const WarmUpOutcome outcome = Press("Laser");
  EXPECT_EQ(outcome.status, WarmUpOutcome::Status::NotRecognized);
  EXPECT_EQ(outcome.message, messages::kPrinterNotRecognized);
  EXPECT_EQ(spooler.calls, Calls{"Open Laser"});
  EXPECT_EQ(current.DeviceName(), "Laser");
}

TEST_F(WarmUp, EveryLaterFailureIsReportedCancelledAndClosed) {
  for (const char* step : {"StartDoc", "StartPage", "Write", "EndPage", "EndDoc"}) {
    spooler.calls.clear();
    spooler.failAt = step;
    current = CurrentPrinter("Saved");

    const WarmUpOutcome outcome = Press("Laser");
    EXPECT_EQ(outcome.status, WarmUpOutcome::Status::Failed) << step;
    EXPECT_EQ(outcome.message, std::string(messages::kCommandFailed) + "\n" + step +
                                   " refused by the spooler");
    ASSERT_GE(spooler.calls.size(), 3u);
    EXPECT_EQ(spooler.calls.rbegin()[1], "Abort") << step;
    EXPECT_EQ(spooler.calls.back(), "Close") << step;
    EXPECT_EQ(current.DeviceName(), "Saved") << step;
  }
}

TEST_F(WarmUp, ShortWriteIsAFailureNotASuccess) {
  spooler.shortWrite = 58;
  const WarmUpOutcome outcome = Press("Laser");
  EXPECT_EQ(outcome.status, WarmUpOutcome::Status::Failed);
  EXPECT_NE(outcome.message.find("58 of 59"), std::string::npos) << outcome.message;
  EXPECT_EQ(spooler.calls, (Calls{"Open Laser", "StartDoc Command Print", "StartPage",
                                  "Write 59", "Abort", "Close"}));
}

TEST_F(WarmUp, SavedPrinterThatVanishedLeavesTheChosenOneCurrent) {
  current = CurrentPrinter("Gone");
  EXPECT_EQ(Press("Laser").status, WarmUpOutcome::Status::Sent);
  EXPECT_EQ(current.DeviceName(), "Laser");

  // With no current printer at all the chosen one stays too.
  current = CurrentPrinter(std::nullopt);
  EXPECT_EQ(Press("Laser").status, WarmUpOutcome::Status::Sent);
  EXPECT_EQ(current.DeviceName(), "Laser");
}

}  // namespace
}  // namespace brisakett
