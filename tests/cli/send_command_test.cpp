#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <sstream>

#ifndef _WIN32
#include <unistd.h>

#include <cstdio>

#include "terminal_password_prompt.h"
#endif

#include "fake_printing.h"
#include "print_server.h"
#include "send_command.h"
#include "send_options.h"
#include "warmup_stream.h"
#include "windows_printer_status.h"

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
  EXPECT_EQ(run.status, kExitSucceeded);
  EXPECT_EQ(run.out, "Kommando ausgeführt\n");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(spooler.calls.front(), "Open Laser");

  spooler.calls.clear();
  EXPECT_EQ(Send({}).status, kExitSucceeded);
  EXPECT_EQ(spooler.calls.front(), "Open Tinte");

  spooler.calls.clear();
  EXPECT_EQ(Send({"--", "-Strich"}).status, kExitSucceeded);
  EXPECT_EQ(spooler.calls.front(), "Open -Strich");
  EXPECT_EQ(spooler.writes.size(), 3u);
}

TEST_F(SendCommand, EachOutcomeHasItsOwnStatusAndMessage) {
  SendRun run = Send({"laser"});
  EXPECT_EQ(run.status, kExitNotRecognized);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "The Printer Name you typed wasn't recognized.\n");

  spooler.failAt = "StartDoc";
  run = Send({"Laser"});
  EXPECT_EQ(run.status, kExitRefused);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "Kommando fehlgeschlagen\nStartDoc refused by the spooler\n");

  // Nothing was typed, so nothing is called a typo.
  catalog.defaultName = "Gone";
  run = Send({});
  EXPECT_EQ(run.status, kExitNotRecognized);
  EXPECT_EQ(run.err, "The default printer Gone is not installed.\n");
  catalog.defaultName.reset();
  run = Send({});
  EXPECT_EQ(run.status, kExitNotRecognized);
  EXPECT_EQ(run.err, "There is no default printer; name the printer to wake.\n");
  EXPECT_TRUE(spooler.writes.empty());

  // An outage is not a typo, and a server that says no is not an outage:
  // a script can tell them apart, whatever was asked.
  for (const auto& [failure, status] :
       {std::pair{ServerAnswer{ServerVerdict::Unreachable,
                               "The print server localhost cannot be reached."},
                  kExitUnreachable},
        std::pair{ServerAnswer{ServerVerdict::TimedOut,
                               "The print server localhost did not answer within 3 seconds."},
                  kExitUnreachable},
        std::pair{ServerAnswer{ServerVerdict::WantsPassword, "Unauthorized"}, kExitRefused}}) {
    catalog.failure = failure;
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{"Laser"}, {}, {"--list"}, {"--all"}}) {
      run = Send(arguments);
      EXPECT_EQ(run.status, status) << failure.reason;
      EXPECT_EQ(run.out, "");
      EXPECT_EQ(run.err, "Kommando fehlgeschlagen\n" + failure.reason + "\n");
    }
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
                                             {"--wait=5", "--timeout", "5", "Laser"},
                                             {"--wait", "30", "Laser"},
                                             {"--wait", "30", "--all"},
                                             {"--timeout", "Laser"},
                                             {"--wait=soon", "Laser"},
                                             {"--timeout", "0", "Laser"},
                                             {"-h"},
                                             {"--version", "-h", "print1"},
                                             {"-h", "print1", "Laser"},  // no server to make
                                             {"--list", "Laser"},
                                             {"Laser", "--version"},
                                             {"-Strich"},
                                             {"-U"},
                                             {"-U", ""},
                                             {"--list", "-U"},
                                             {"--metrics", "", "Laser"},
                                             {"--list", "--metrics", "m.prom"},
                                             {"--metrics=a", "--metrics", "b", "Laser"}}) {
    const SendRun run = Send(arguments);
    EXPECT_EQ(run.status, kExitUsageError) << arguments.front();
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("--help"), std::string::npos);
  }
  EXPECT_NE(Send({"Laser", "--lists", "Tinte"}).err.find("'--lists'"), std::string::npos);
  EXPECT_NE(Send({"--wait", "30", "Laser"}).err.find("--timeout 30"), std::string::npos);
  EXPECT_TRUE(spooler.calls.empty());
}

// Several printers, one of them unknown: one line each, in a fixed form,
// the unknown one reported and skipped, then the summary.
TEST_F(SendCommand, SeveralPrintersGetALineEachAndTheWorstStatus) {
  spooler.failAt = "";
  const SendRun run = Send({"Laser", "--jobs", "1", "Nope", "Tinte", "Laser"});
  EXPECT_EQ(run.status, kExitNotRecognized);
  const auto lines = Fields(run.out);
  ASSERT_EQ(lines.size(), 4u) << run.out;
  EXPECT_EQ(lines[0], (std::vector<std::string>{"Laser", "sent", "1", lines[0][3], "-"}));
  EXPECT_EQ(lines[1], (std::vector<std::string>{"Nope", "not-recognized", "-", lines[1][3],
                                                "The Printer Name you typed wasn't recognized."}));
  EXPECT_EQ(lines[2], (std::vector<std::string>{"Tinte", "sent", "2", lines[2][3], "-"}));
  EXPECT_EQ(lines[3], std::vector<std::string>{"summary: 3 printers, 2 sent, 1 not-recognized"});
  EXPECT_EQ(spooler.writes.size(), 2u);  // Laser, named twice, woken once

  spooler.failAt = "EndDoc";
  EXPECT_EQ(Send({"--jobs", "1", "Laser", "Nope"}).status, kExitRefused);

  // A failure inside the program on a submitting thread ends that
  // printer's wake-up, not the run.
  spooler.failAt = "";
  spooler.throwsOnOpen = true;
  const SendRun thrown = Send({"--jobs", "2", "Laser", "Tinte"});
  EXPECT_EQ(thrown.status, kExitUnknown);
  for (const auto& line : Fields(thrown.out)) {
    if (line[0] == "Laser" || line[0] == "Tinte") {
      EXPECT_EQ(line[1], "unknown");
      EXPECT_NE(line[4].find("out of handles"), std::string::npos) << line[4];
    }
  }
  spooler.throwsOnOpen = false;

  catalog.names.clear();
  const SendRun none = Send({"--all"});
  EXPECT_EQ(none.status, kExitNotRecognized);
  EXPECT_EQ(none.out, "");
  EXPECT_NE(none.err.find("no printers are listed"), std::string::npos);
}

// --wait follows each job to its end; --json carries the same outcomes.
TEST_F(SendCommand, WaitReportsWhatBecameOfEachJob) {
  watcher.looks["Laser"] = JobLook{JobLook::State::Completed, {}};
  watcher.looks["Tinte"] = JobLook{JobLook::State::Aborted, "aborted: Paper jam"};
  watcher.looks["-Strich"] = JobLook{JobLook::State::Waiting, "queue stopped: Paused (paused)"};
  const SendRun run = Send({"--json", "--timeout", "1", "--cancel-on-timeout", "--jobs", "1",
                            "Laser", "Tinte", "--", "-Strich"});
  EXPECT_EQ(run.status, kExitFailedAtPrinter);
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

  // A job still waiting is left queued without --cancel-on-timeout; one
  // whose look never came says why; a job gone without a word is neither
  // delivered nor failed.
  watcher.calls.clear();
  watcher.looks["Laser"] = ServerAnswer{ServerVerdict::TimedOut, "no answer"};
  watcher.looks["Tinte"] = JobLook{JobLook::State::Vanished, "gone"};
  const SendRun waited = Send({"--wait=1", "Laser", "Tinte", "--", "-Strich"});
  EXPECT_EQ(waited.status, kExitUnknown);
  const auto lines = Fields(waited.out);
  ASSERT_EQ(lines.size(), 4u) << waited.out;
  for (const auto& line : lines) {
    if (line[0] == "Laser") {
      EXPECT_EQ(line[1], "still-waiting");
      EXPECT_EQ(line[4], "the scheduler did not report the job: no answer");
    }
    if (line[0] == "Tinte") {
      EXPECT_EQ(line[1], "unknown");
    }
    if (line[0] == "-Strich") {
      EXPECT_EQ(line[1], "still-waiting");
    }
  }
  EXPECT_EQ(std::count(watcher.calls.begin(), watcher.calls.end(), "Cancel -Strich 6"), 0);

  // A cancel the server refused leaves the job queued in its words; one it
  // did not answer in time may have been made all the same.
  watcher.looks["Laser"] = JobLook{JobLook::State::Waiting, "queued"};
  watcher.cancels["Laser"] = ServerAnswer{ServerVerdict::Refused, "Not authorized."};
  watcher.cancels["-Strich"] = ServerAnswer{ServerVerdict::TimedOut, "no answer"};
  const SendRun uncancelled =
      Send({"--json", "--wait=1", "--cancel-on-timeout", "Laser", "--", "-Strich"});
  std::istringstream objects(uncancelled.out);
  for (std::string line; std::getline(objects, line);) {
    const nlohmann::json object = nlohmann::json::parse(line);
    EXPECT_EQ(object["cancelled"], false) << line;
    EXPECT_EQ(object["reason"], object["name"] == "Laser"
                                    ? "queued; the job could not be cancelled: Not authorized."
                                    : "queue stopped: Paused (paused); the print server did not "
                                      "confirm the job's cancel in time, so the job may still be queued");
  }

  // Stopped (SIGTERM): nothing more is submitted, and each printer says so.
  const std::atomic<bool> stop{true};
  StringOutput out, err;
  EXPECT_EQ(RunSendCommand({"--wait", "Laser"}, login, catalog, spooler, watcher, out, err, &stop),
            kExitStillWaiting);
  EXPECT_NE(out.text.find("not submitted"), std::string::npos) << out.text;
}

// Devices that answer from a script, one reading after another (the last
// repeats), each `at` the moment it is asked plus `later`.
struct ScriptedDevices final : DeviceStatusSource {
  std::map<std::string, std::vector<SpoolerAnswer<DeviceStatus>>> scripts;
  std::chrono::seconds later{0};
  mutable std::string community;

  struct Questions final : DeviceQuestions {
    ScriptedDevices& devices;
    std::map<std::string, std::size_t> asked;
    explicit Questions(ScriptedDevices& owner) : devices(owner) {}
    void Ask(const std::string& host, Answered answered) override {
      const auto& script = devices.scripts.at(host);
      SpoolerAnswer<DeviceStatus> answer = script.at(std::min(asked[host]++, script.size() - 1));
      answer.value.at = std::chrono::steady_clock::now() + devices.later;
      answered(answer);
    }
  };
  std::unique_ptr<DeviceQuestions> Open(const std::string& asked) const override {
    community = asked;
    return std::make_unique<Questions>(const_cast<ScriptedDevices&>(*this));
  }
};

struct EachQueueItsOwnHost final : DeviceLocator {
  std::string usb = "-Strich";  // not asked
  std::map<std::string, std::vector<std::string>> heard;  // the spooler's word after each job
  std::vector<SpoolerAnswer<DeviceAddress>> Locate(const std::vector<std::string>& names,
                                                   Deadline&) const override {
    std::vector<SpoolerAnswer<DeviceAddress>> found;
    for (const std::string& name : names) {
      found.push_back(name == usb ? DeviceAddress{{}, "a usb device", true} : DeviceAddress{name, {}, true});
    }
    return found;
  }
  std::vector<SpoolerAnswer<std::vector<std::string>>> HeardAfter(const std::vector<WatchedJob>& jobs,
                                                                  Deadline&) const override {
    std::vector<SpoolerAnswer<std::vector<std::string>>> found;
    for (const WatchedJob& job : jobs) {
      const auto word = heard.find(job.deviceName);
      found.push_back(word == heard.end() ? std::vector<std::string>{} : word->second);
    }
    return found;
  }
};

class SendCommandAskingDevices : public SendCommand {
protected:
  SendCommandAskingDevices() {
    for (const char* name : {"Laser", "Tinte", "-Strich"}) {
      watcher.looks[name] = JobLook{JobLook::State::Completed, {}};
    }
  }
  std::map<std::string, nlohmann::json> Run(std::vector<std::string> arguments, int& status) {
    arguments.insert(arguments.begin(), "--json");
    StringOutput out, err;
    status = RunSendCommand(arguments, login, catalog, spooler, watcher, out, err, nullptr, &locator,
                            &devices);
    std::map<std::string, nlohmann::json> byName;
    std::istringstream in(out.text);
    for (std::string line; std::getline(in, line);) {
      const nlohmann::json object = nlohmann::json::parse(line);
      byName[object.at("name")] = object;
    }
    return byName;
  }
  EachQueueItsOwnHost locator;
  ScriptedDevices devices;
};

// Each delivered printer's device is asked (with the community given)
// until two readings a second apart agree; when the time runs out, the
// last reading decides, and a device that never answers, or cannot be
// asked, leaves the printer delivered unless the spooler heard an error
// from it after the job.
TEST_F(SendCommandAskingDevices, TheLastReadingDecidesWhenTheTimeRunsOut) {
  devices.scripts["Laser"] = {ReadPrinterMib(3, 3, "\x20")};  // low toner
  devices.scripts["Tinte"] = {ReadPrinterMib(2, 5, "")};
  devices.later = std::chrono::seconds(7);  // ready 7 s after submitting
  locator.heard["-Strich"] = {"toner-low-warning", "offline-report"};
  int status = 0;
  auto byName = Run({"--timeout", "1", "--snmp-community", "geheim", "Laser", "Tinte", "--", "-Strich"},
                    status);
  EXPECT_EQ(status, kExitStillWaiting);
  EXPECT_EQ(devices.community, "geheim");
  EXPECT_EQ(byName["Laser"]["outcome"], "ready");
  EXPECT_GT(byName["Laser"]["ready_seconds"].get<double>(), 5.0);  // to ready, not to delivered
  EXPECT_EQ(byName["Laser"]["reason"], "low toner");
  EXPECT_EQ(byName["Laser"]["device_status"], "warning, idle, low toner");
  EXPECT_EQ(byName["Tinte"]["outcome"], "warming-up");
  EXPECT_EQ(byName["Tinte"]["reason"], "still warming up when the time ran out");
  EXPECT_EQ(byName["-Strich"]["outcome"], "delivered");
  EXPECT_EQ(byName["-Strich"]["reason"], "the printer does not report its status (a usb device)");

  devices.later = std::chrono::seconds(0);
  devices.scripts["Tinte"] = {ReadPrinterMib(5, 1, "")};
  devices.scripts["Laser"] = {ServerAnswer{ServerVerdict::TimedOut, "no answer to SNMP"}};
  locator.heard["-Strich"] = {"media-empty-error", "paused"};
  byName = Run({"--wait=5", "Laser", "Tinte", "--", "-Strich"}, status);
  EXPECT_EQ(status, kExitNeedsAttention);
  EXPECT_EQ(byName["Laser"]["outcome"], "delivered");
  EXPECT_EQ(byName["Laser"]["reason"], "the printer does not report its status (no answer to SNMP)");
  EXPECT_EQ(byName["Laser"]["ready_seconds"], nullptr);
  EXPECT_EQ(byName["Tinte"]["outcome"], "needs-attention");
  EXPECT_EQ(byName["Tinte"]["reason"], "unavailable");
  EXPECT_EQ(byName["Tinte"]["device_status"], "down, other");
  EXPECT_EQ(byName["-Strich"]["outcome"], "needs-attention");
  EXPECT_EQ(byName["-Strich"]["reason"], "media empty (as the spooler last heard from it)");
  EXPECT_EQ(byName["-Strich"]["device_status"], "media-empty-error, paused");
  EXPECT_EQ(WorseExitStatus(kExitNeedsAttention, kExitStillWaiting), kExitNeedsAttention);
  EXPECT_EQ(WorseExitStatus(kExitNeedsAttention, kExitUnknown), kExitUnknown);
}

// A folder of the test's own, on Windows too, removed with it.
struct OwnFolder {
  const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("brisakett-" + std::to_string(std::random_device()()));
  OwnFolder() { std::filesystem::create_directory(path); }
  ~OwnFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(path / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
};

// --metrics: each printer and the run, for Prometheus, written at the end
// of any run (one that fails before its jobs too) with nothing left
// beside; a file that cannot be written is told, and the exit status stays
// the run's.
TEST_F(SendCommandAskingDevices, MetricsHoldEachPrinterAndTheRun) {
  devices.scripts["Laser"] = {ReadPrinterMib(2, 3, "")};
  devices.scripts["Tinte"] = {ReadPrinterMib(2, 5, "")};
  const OwnFolder folder;
  const std::string file = (folder.path / "brisakett.prom").string();
  int status = 0;
  Run({"--timeout", "2", "--metrics", file, "Laser", "Tinte", "Nope", "--", "-Strich"}, status);
  EXPECT_EQ(status, kExitNotRecognized);
  const std::string text = folder.Read("brisakett.prom");
  const std::string server = PrintServerOf("Laser");
  const auto has = [&text](const std::string& metric, const std::string& printer,
                           const std::string& rest) {
    return text.find("\nbrisakett_printer_" + metric + "{printer=\"" + printer + "\",server=\"" +
                     PrintServerOf(printer) + "\"" + rest) != std::string::npos;
  };
  EXPECT_TRUE(has("outcome", "Laser", ",outcome=\"ready\"} 1\n")) << text;
  EXPECT_TRUE(has("outcome", "Tinte", ",outcome=\"warming-up\"} 1\n"));
  EXPECT_TRUE(has("outcome", "Nope", ",outcome=\"not-recognized\"} 1\n"));
  EXPECT_TRUE(has("outcome", "-Strich", ",outcome=\"delivered\"} 1\n"));
  EXPECT_TRUE(has("ready", "Laser", "} 1\n"));
  EXPECT_TRUE(has("ready", "Tinte", "} 0\n"));
  EXPECT_TRUE(has("ready_seconds", "Laser", "} "));
  EXPECT_FALSE(has("ready_seconds", "Tinte", "} "));
  EXPECT_TRUE(has("delivered_seconds", "-Strich", "} "));
  EXPECT_FALSE(has("delivered_seconds", "Nope", "} "));
  EXPECT_NE(text.find("\n# TYPE brisakett_run_exit_status gauge\nbrisakett_run_exit_status 3\n"),
            std::string::npos);
  EXPECT_NE(text.find("\nbrisakett_run_printers{outcome=\"ready\"} 1\n"), std::string::npos);
  const std::string stamp = "\nbrisakett_run_timestamp_seconds ";
  ASSERT_NE(text.find(stamp), std::string::npos);
  const double now =
      std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
  EXPECT_NEAR(std::stod(text.substr(text.find(stamp) + stamp.size())), now, 60);

  catalog.failure = ServerAnswer{ServerVerdict::Unreachable, "The print server cannot be reached."};
  Run({"--all", "--metrics", file}, status);
  EXPECT_EQ(status, kExitUnreachable);
  const std::string unreachable = folder.Read("brisakett.prom");
  EXPECT_NE(unreachable.find("\nbrisakett_run_exit_status 4\n"), std::string::npos) << unreachable;
  EXPECT_EQ(unreachable.find("brisakett_printer_"), std::string::npos);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path), {}), 1);

  catalog.failure = ServerAnswer{};
  StringOutput out, err;
  const std::string nowhere = (folder.path / "missing" / "brisakett.prom").string();
  EXPECT_EQ(
      RunSendCommand({"--metrics", nowhere, "Laser"}, login, catalog, spooler, watcher, out, err),
      kExitSucceeded);
  EXPECT_NE(err.text.find("metrics could not be written to " + nowhere + ": "), std::string::npos)
      << err.text;
}

// One reading is not the printer's word: one still idle for a moment
// after its job before it warms up is not ready then, one waking that
// flashes offline does not need attention, and one that falls silent
// after it has told keeps what it told.
TEST_F(SendCommandAskingDevices, TwoAgreeingReadingsASecondApartEndTheWatchEarly) {
  const SpoolerAnswer<DeviceStatus> idle = ReadPrinterMib(2, 3, ""), warmup = ReadPrinterMib(2, 5, ""),
                                    offline = ReadPrinterMib(5, 1, "\x02"),
                                    silent = ServerAnswer{ServerVerdict::TimedOut, "no answer"};
  devices.scripts["Laser"] = {idle, warmup, warmup, idle};
  devices.scripts["Tinte"] = {warmup, offline, idle};
  devices.scripts["-Strich"] = {idle, silent, idle};
  locator.usb.clear();
  int status = 0;
  const auto started = std::chrono::steady_clock::now();
  auto byName = Run({"--timeout", "8", "Laser", "Tinte", "--", "-Strich"}, status);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(8));
  EXPECT_EQ(status, kExitSucceeded);
  EXPECT_EQ(byName["Laser"]["outcome"], "ready");
  // Its first "ready" after warming up, at the fourth reading, not the first.
  EXPECT_GT(byName["Laser"]["ready_seconds"].get<double>(), 2.5);
  EXPECT_EQ(byName["Tinte"]["outcome"], "ready");
  EXPECT_EQ(byName["-Strich"]["outcome"], "ready");  // a lost answer between two
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
  EXPECT_EQ(Send({"-U", "anna", "--list"}).status, kExitSucceeded);
  EXPECT_EQ(login.user, "anna");
  EXPECT_EQ(Send({"--list", "-Uben"}).status, kExitSucceeded);
  EXPECT_EQ(login.user, "ben");
  EXPECT_EQ(Send({"--version"}).out, "Brisakett 1.00\n");
  const SendRun help = Send({"--help"});
  EXPECT_EQ(help.status, kExitSucceeded);
  EXPECT_NE(help.out.find("Usage: brisakett-send [-U USER] [-h SERVER]... [PRINTER]"), std::string::npos);
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
