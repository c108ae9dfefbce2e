#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <sstream>

#ifndef _WIN32
#include <unistd.h>

#include <cstdio>

#include "terminal_password_prompt.h"
#endif

#include "fake_printing.h"
#include "send_command.h"
#include "send_options.h"
#include "warmup_stream.h"

namespace brisakett {
namespace {

struct StringOutput final : TextOutput {
  void Write(std::string_view more) override { text += more; }
  std::string text;
};

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
    StringOutput out, err;
    const int status = RunSendCommand(arguments, login, catalog, spooler, watcher, out, err);
    return {status, out.text, err.text};
  }

  SpoolerLogin login;
  testing::FakeCatalog catalog;
  testing::FakeSpooler spooler;
  testing::FakeWatcher watcher;
};

// The tab-separated fields of each line of `text`.
std::vector<std::vector<std::string>> Fields(const std::string& text) {
  std::vector<std::vector<std::string>> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> fields;
    std::istringstream split(line);
    for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
    lines.push_back(fields);
  }
  return lines;
}

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
                                             {"--all", "Laser"},
                                             {"--cancel-on-timeout", "Laser"},
                                             {"--jobs", "0", "Laser", "Tinte"},
                                             {"Laser", "--jobs"},
                                             {"--all=1"},
                                             {"--vers"},
                                             {"-U", "anna", "-U", "ben", "Laser"},
                                             {"--wait", "--wait=5", "Laser"},
                                             {"--wait=soon", "Laser"},
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
  EXPECT_NE(Send({"Laser", "--lists", "Tinte"}).err.find("'--lists'"), std::string::npos);
  // --wait is a switch: a number after it is meant as the time, which is
  // --timeout's, and must not be taken for a printer's name. (Were it
  // taken, Laser's job ends at once rather than after the default wait.)
  watcher.looks["Laser"] = {JobLook::State::Completed, {}};
  const SendRun number = Send({"--wait", "30", "Laser"});
  EXPECT_EQ(number.status, kSendUsageError);
  EXPECT_NE(number.err.find("--timeout 30"), std::string::npos) << number.err;
  EXPECT_TRUE(spooler.calls.empty());
}

// Several printers, one of them unknown: one line each, in a fixed form,
// the unknown one reported and skipped, then the summary.
TEST_F(SendCommand, SeveralPrintersGetALineEachAndTheWorstStatus) {
  spooler.failAt = "";
  const SendRun run = Send({"Laser", "--jobs", "1", "Nope", "Tinte", "Laser"});
  EXPECT_EQ(run.status, kSendNotRecognized);
  const auto lines = Fields(run.out);
  ASSERT_EQ(lines.size(), 4u) << run.out;
  EXPECT_EQ(lines[0], (std::vector<std::string>{"Nope", "not-recognized", "-", lines[0][3],
                                                "The Printer Name you typed wasn't recognized."}));
  EXPECT_EQ(lines[1], (std::vector<std::string>{"Laser", "sent", "1", lines[1][3], "-"}));
  EXPECT_EQ(lines[2], (std::vector<std::string>{"Tinte", "sent", "2", lines[2][3], "-"}));
  EXPECT_EQ(lines[3], std::vector<std::string>{"summary: 3 printers, 2 sent, 1 not-recognized"});
  EXPECT_EQ(spooler.writes.size(), 2u);  // Laser, named twice, woken once

  spooler.failAt = "EndDoc";
  EXPECT_EQ(Send({"--jobs", "1", "Laser", "Nope"}).status, kSendFailed);

  catalog.names.clear();
  const SendRun none = Send({"--all"});
  EXPECT_EQ(none.status, kSendNotRecognized);
  EXPECT_EQ(none.out, "");
  EXPECT_NE(none.err.find("no printers are listed"), std::string::npos);
}

// --wait follows each job to its end; --json carries the same outcomes.
TEST_F(SendCommand, WaitReportsWhatBecameOfEachJob) {
  watcher.looks["Laser"] = {JobLook::State::Completed, {}};
  watcher.looks["Tinte"] = {JobLook::State::Aborted, "aborted: Paper jam"};
  watcher.looks["-Strich"] = {JobLook::State::Waiting, "queue stopped: Paused (paused)"};
  const SendRun run = Send({"--json", "--wait=0", "--cancel-on-timeout", "--jobs", "1", "Laser",
                            "Tinte", "--", "-Strich"});
  EXPECT_EQ(run.status, kSendFailedAtPrinter);
  std::map<std::string, nlohmann::json> byName;
  std::istringstream in(run.out);
  for (std::string line; std::getline(in, line);) {
    const nlohmann::json object = nlohmann::json::parse(line);
    byName[object.at("name")] = object;
  }
  ASSERT_EQ(byName.size(), 3u) << run.out;
  EXPECT_EQ(byName["Laser"]["outcome"], "delivered");
  EXPECT_EQ(byName["Laser"]["job_id"], 1);
  EXPECT_EQ(byName["Tinte"]["outcome"], "failed-at-printer");
  EXPECT_EQ(byName["Tinte"]["reason"], "aborted: Paper jam");
  EXPECT_EQ(byName["-Strich"]["outcome"], "still-waiting");
  EXPECT_EQ(byName["-Strich"]["reason"], "queue stopped: Paused (paused)");
  EXPECT_EQ(byName["-Strich"]["cancelled"], true);
  EXPECT_EQ(watcher.calls.back(), "Cancel -Strich 3");

  // A job still waiting is left queued without --cancel-on-timeout.
  watcher.calls.clear();
  EXPECT_EQ(Send({"--wait=0", "--", "-Strich"}).status, kSendStillWaiting);
  EXPECT_EQ(watcher.calls, std::vector<std::string>{"Look -Strich 4"});
}

// Options are read wherever they stand among the printers, in both their
// forms, and each command line afresh; after "--" every word is a printer.
TEST(SendOptions, AreReadWhereverTheyStandInEitherForm) {
  std::string problem;
  std::optional<SendOptions> read = ParseSendOptions(
      {"Laser", "-Uanna", "--jobs=3", "Tinte", "--wait", "--", "-Strich", "--json"}, problem);
  ASSERT_TRUE(read) << problem;
  EXPECT_EQ(read->printers, (std::vector<std::string>{"Laser", "Tinte", "-Strich", "--json"}));
  EXPECT_EQ(read->user, "anna");
  EXPECT_EQ(read->jobs, 3u);
  EXPECT_EQ(read->waitSeconds, kDefaultWaitSeconds);
  EXPECT_FALSE(read->json);

  read = ParseSendOptions({"--wait=7", "--jobs", "2", "-U", "ben", "--all", "--json"}, problem);
  ASSERT_TRUE(read) << problem;
  EXPECT_TRUE(read->printers.empty());
  EXPECT_EQ(read->user, "ben");
  EXPECT_EQ(read->jobs, 2u);
  EXPECT_EQ(read->waitSeconds, 7);
  EXPECT_TRUE(read->all && read->json);

  // The time to wait has an option of its own, which also means --wait.
  for (const std::vector<std::string>& arguments :
       std::vector<std::vector<std::string>>{{"--timeout", "30", "Laser"}, {"Laser", "--timeout=30"}}) {
    read = ParseSendOptions(arguments, problem);
    ASSERT_TRUE(read) << problem;
    EXPECT_EQ(read->printers, std::vector<std::string>{"Laser"});
    EXPECT_EQ(read->waitSeconds, 30);
  }
}

TEST_F(SendCommand, ListHelpAndVersion) {
  EXPECT_EQ(Send({"--list"}).out, "  Laser\n* Tinte\n  -Strich\n");
  EXPECT_EQ(Send({"-U", "anna", "--list"}).status, kSendSucceeded);
  EXPECT_EQ(login.user, "anna");
  EXPECT_EQ(Send({"--list", "-Uben"}).status, kSendSucceeded);
  EXPECT_EQ(login.user, "ben");
  EXPECT_EQ(Send({"--version"}).out, "Brisakett 1.00\n");
  const SendRun help = Send({"--help"});
  EXPECT_EQ(help.status, kSendSucceeded);
  EXPECT_NE(help.out.find("Usage: brisakett-send [-U USER] [PRINTER]"), std::string::npos);
  EXPECT_TRUE(spooler.calls.empty());
}

#ifndef _WIN32
// The prompt goes out whole on standard error; each answer is one line of
// standard input without its line end, and an empty line or the end of
// input declines.
TEST(TerminalPasswordPrompt, ReadsOneLineForEachQuestion) {
  int input[2], prompts[2];
  ASSERT_EQ(pipe(input), 0);
  ASSERT_EQ(pipe(prompts), 0);
  const std::string typed = "secret\n\nlast";
  ASSERT_EQ(write(input[1], typed.data(), typed.size()), ssize_t(typed.size()));
  close(input[1]);
  const int savedIn = dup(STDIN_FILENO), savedErr = dup(STDERR_FILENO);
  dup2(input[0], STDIN_FILENO);
  dup2(prompts[1], STDERR_FILENO);

  TerminalPasswordPrompt prompt;
  std::string user = "anna";
  std::vector<std::optional<std::string>> answers;
  for (int question = 0; question < 4; ++question) answers.push_back(prompt.Ask("printhost", user));

  dup2(savedIn, STDIN_FILENO);
  dup2(savedErr, STDERR_FILENO);
  clearerr(stdin);
  for (const int descriptor : {savedIn, savedErr, input[0], prompts[1]}) close(descriptor);
  std::string shown(256, '\0');
  shown.resize(std::size_t(std::max<ssize_t>(read(prompts[0], shown.data(), shown.size()), 0)));
  close(prompts[0]);

  using Answers = std::vector<std::optional<std::string>>;
  EXPECT_EQ(answers, (Answers{"secret", std::nullopt, "last", std::nullopt}));
  std::string expected;
  for (int question = 0; question < 4; ++question) expected += "Password for anna on printhost? \n";
  EXPECT_EQ(shown, expected);
}
#endif

}  // namespace
}  // namespace brisakett
