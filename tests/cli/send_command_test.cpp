#include <gtest/gtest.h>

#include <sstream>

#include "fake_printing.h"
#include "send_command.h"
#include "warmup_stream.h"

namespace brisakett {
namespace {

struct SendRun {
  int status;
  std::string out;
  std::string err;
};

class SendCommand : public ::testing::Test {
protected:
  SendCommand() {
    catalog.names = {"Laser", "Tinte", "-Strich"};
    catalog.defaultName = "Tinte";
    spooler.openable = catalog.names;
  }

  SendRun Send(std::vector<std::string> arguments) {
    std::ostringstream out, err;
    const int status = RunSendCommand(arguments, login, catalog, spooler, out, err);
    return {status, out.str(), err.str()};
  }

  SpoolerLogin login;
  testing::FakeCatalog catalog;
  testing::FakeSpooler spooler;
};

TEST_F(SendCommand, WakesTheNamedOrTheDefaultPrinter) {
  SendRun run = Send({"Laser"});
  EXPECT_EQ(run.status, kSendSucceeded);
  EXPECT_EQ(run.out, "Kommando ausgeführt\n");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(spooler.calls.front(), "Open Laser");

  spooler.calls.clear();
  EXPECT_EQ(Send({}).status, kSendSucceeded);
  EXPECT_EQ(spooler.calls.front(), "Open Tinte");

  spooler.calls.clear();
  EXPECT_EQ(Send({"--", "-Strich"}).status, kSendSucceeded);
  EXPECT_EQ(spooler.calls.front(), "Open -Strich");
  EXPECT_EQ(spooler.writes.size(), 3u);
}

TEST_F(SendCommand, EachOutcomeHasItsOwnStatusAndMessage) {
  SendRun run = Send({"laser"});
  EXPECT_EQ(run.status, kSendNotRecognized);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "The Printer Name you typed wasn't recognized.\n");

  spooler.failAt = "StartDoc";
  run = Send({"Laser"});
  EXPECT_EQ(run.status, kSendFailed);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "Kommando fehlgeschlagen\nStartDoc refused by the spooler\n");

  // Nothing was typed, so nothing is called a typo.
  catalog.defaultName = "Gone";
  run = Send({});
  EXPECT_EQ(run.status, kSendNotRecognized);
  EXPECT_EQ(run.err, "The default printer Gone is not installed.\n");
  catalog.defaultName.reset();
  run = Send({});
  EXPECT_EQ(run.status, kSendNotRecognized);
  EXPECT_EQ(run.err, "There is no default printer; name the printer to wake.\n");
  EXPECT_TRUE(spooler.writes.empty());

  // An outage is not a typo: a script can tell them apart.
  catalog.failure = "The print server localhost cannot be reached.";
  for (const std::vector<std::string>& arguments :
       std::vector<std::vector<std::string>>{{"Laser"}, {}, {"--list"}}) {
    run = Send(arguments);
    EXPECT_EQ(run.status, kSendUnreachable);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "Kommando fehlgeschlagen\nThe print server localhost cannot be reached.\n");
  }
  EXPECT_TRUE(spooler.writes.empty());
}

TEST_F(SendCommand, WrongCommandLinesSendNothing) {
  for (const std::vector<std::string>& arguments :
       std::vector<std::vector<std::string>>{{"-x"},
                                             {"--lists"},
                                             {"Laser", "Tinte"},
                                             {"--list", "Laser"},
                                             {"Laser", "--version"},
                                             {"-Strich"},
                                             {"-U"},
                                             {"-U", ""},
                                             {"--list", "-U"}}) {
    const SendRun run = Send(arguments);
    EXPECT_EQ(run.status, kSendUsageError) << arguments.front();
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("--help"), std::string::npos);
  }
  EXPECT_TRUE(spooler.calls.empty());
}

TEST_F(SendCommand, ListHelpAndVersion) {
  EXPECT_EQ(Send({"--list"}).out, "  Laser\n* Tinte\n  -Strich\n");
  EXPECT_EQ(Send({"-U", "anna", "--list"}).status, kSendSucceeded);
  EXPECT_EQ(login.user, "anna");
  EXPECT_EQ(Send({"--version"}).out, "Brisakett 1.00\n");
  const SendRun help = Send({"--help"});
  EXPECT_EQ(help.status, kSendSucceeded);
  EXPECT_NE(help.out.find("Usage: brisakett-send [-U USER] [PRINTER]"), std::string::npos);
  EXPECT_TRUE(spooler.calls.empty());
}

}  // namespace
}  // namespace brisakett
