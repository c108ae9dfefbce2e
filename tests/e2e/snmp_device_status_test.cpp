// The questions to printers, against SNMP agents that answer as real ones
// do (late, in one version only, at another row, or broken) and printers
// that speak IPP: ippeveprinter, and our own for what it cannot show.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cups/cups.h>
#include <sys/resource.h>

#include <chrono>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "cups/cups_device_locator.h"
#include "cups/ipp_device_status.h"
#include "ipp_printer.h"
#include "posix/snmp_device_status.h"
#include "private_cupsd.h"
#include "snmp_test_agent.h"
#include "temp_folder.h"

namespace brisakett {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using testing::SnmpTestAgent;
using Fault = SnmpTestAgent::Fault;

// Asks every host at once; each answer, as it came.
std::map<std::string, SpoolerAnswer<DeviceStatus>> AskAll(DeviceQuestions& questions,
                                                          const std::vector<std::string>& hosts) {
  std::map<std::string, std::promise<SpoolerAnswer<DeviceStatus>>> promised;
  for (const std::string& host : hosts) promised[host];
  for (const std::string& host : hosts) {
    questions.Ask(host, [&promise = promised[host]](SpoolerAnswer<DeviceStatus> answer) {
      promise.set_value(std::move(answer));
    });
  }
  std::map<std::string, SpoolerAnswer<DeviceStatus>> answers;
  for (auto& [host, promise] : promised) {
    std::future<SpoolerAnswer<DeviceStatus>> future = promise.get_future();
    if (future.wait_for(10s) != std::future_status::ready) {
      ADD_FAILURE() << host << " never answered";
      continue;
    }
    answers[host] = future.get();
  }
  return answers;
}

// Agents on loopback addresses of their own, all at one port.
class SnmpAgents : public ::testing::Test {
protected:
  SnmpTestAgent& Start(const std::string& address, SnmpTestAgent::Printer printer) {
    agents_.push_back(std::make_unique<SnmpTestAgent>(address, printer, port_));
    if (port_ == 0) port_ = agents_.back()->Port();
    EXPECT_NE(agents_.back()->Port(), 0) << address;
    return *agents_.back();
  }
  std::unique_ptr<DeviceQuestions> Questions() const { return SnmpDeviceStatus(port_).Open("public"); }
  std::unique_ptr<DeviceQuestions> IppThenSnmp() const {
    return IppDeviceStatus(std::make_unique<SnmpDeviceStatus>(port_)).Open("public");
  }

private:
  std::uint16_t port_ = 0;
  std::vector<std::unique_ptr<SnmpTestAgent>> agents_;
};

// A printer just out of deep sleep answers after 1.8 s (and SNMPv1 only,
// its printer on row 3 of its devices); another loses the first request;
// one speaks v2c alone; one lacks a value, which SNMPv1 refuses the whole
// question for. Each is heard: the late one in its two round trips (its
// row, then its values), each within the 3 s a silent one costs.
TEST_F(SnmpAgents, LateOneVersionAndOtherRowAgentsAreHeard) {
  Start("127.0.0.21", {.row = 3, .versions = {0}, .delay = 1800ms});
  SnmpTestAgent& lossy = Start("127.0.0.22", {.ignoreFirst = 1});
  Start("127.0.0.23", {.deviceStatus = 3, .errorState = std::string("\x20\x00", 2), .versions = {1}});
  Start("127.0.0.24", {.printerStatus = std::nullopt, .versions = {0}});
  const auto questions = Questions();
  const auto started = std::chrono::steady_clock::now();
  auto answers = AskAll(*questions, {"127.0.0.21", "127.0.0.22", "127.0.0.23", "127.0.0.24"});
  EXPECT_LT(std::chrono::steady_clock::now() - started, 2 * 1800ms + 1s);
  for (const char* host : {"127.0.0.21", "127.0.0.22"}) {
    ASSERT_TRUE(answers[host].Answered()) << host << ": " << answers[host].reason;
    EXPECT_EQ(answers[host].value.readiness, DeviceReadiness::Ready) << host;
    EXPECT_EQ(answers[host].value.said, "running, idle") << host;
  }
  EXPECT_EQ(answers["127.0.0.23"].value.warnings, "low toner");
  EXPECT_EQ(answers["127.0.0.24"].value.readiness, DeviceReadiness::NotKnown);
  EXPECT_EQ(answers["127.0.0.24"].value.condition, "it reports running");

  // The row and the version are found once: the next question is one GET.
  const int before = lossy.Requests();
  answers = AskAll(*questions, {"127.0.0.22"});
  EXPECT_TRUE(answers["127.0.0.22"].Answered());
  EXPECT_EQ(lossy.Requests(), before + 1);
}

// No reply, however broken, ends the run or passes for a reading: each is
// "not known" with what was wrong, or silence when net-snmp cannot even
// parse it; a host without an agent is silent, with the community asked.
TEST_F(SnmpAgents, BrokenRepliesAreNotKnownAndSilenceSaysTheCommunity) {
  const std::map<std::string, Fault> broken{
      {"127.0.0.31", Fault::ErrorIndexZero}, {"127.0.0.32", Fault::ErrorIndexBeyond},
      {"127.0.0.33", Fault::WrongTypes},     {"127.0.0.34", Fault::WrongRow},
      {"127.0.0.35", Fault::Truncated},      {"127.0.0.36", Fault::Garbage}};
  std::vector<std::string> hosts{"127.0.0.37"};  // nobody there
  for (const auto& [host, fault] : broken) {
    Start(host, {.fault = fault});
    hosts.push_back(host);
  }
  const auto questions = Questions();
  auto answers = AskAll(*questions, hosts);
  for (const char* host : {"127.0.0.31", "127.0.0.32", "127.0.0.34"}) {
    ASSERT_TRUE(answers[host].Answered()) << host;
    EXPECT_EQ(answers[host].value.readiness, DeviceReadiness::NotKnown) << host;
    EXPECT_THAT(answers[host].value.condition, HasSubstr("it sent a malformed reply: ")) << host;
  }
  EXPECT_THAT(answers["127.0.0.32"].value.condition, HasSubstr("error-index 7 for the 3 values"));
  EXPECT_EQ(answers["127.0.0.33"].value.condition,
            "it sent a value of the wrong type: hrDeviceStatus as an object identifier, "
            "hrPrinterStatus as a string");
  for (const char* host : {"127.0.0.35", "127.0.0.36", "127.0.0.37"}) {
    EXPECT_EQ(answers[host].verdict, ServerVerdict::TimedOut) << host;
    EXPECT_THAT(answers[host].reason, HasSubstr("with community \"public\"")) << host;
  }
  // The broken ones found their rows first, in the version they speak.
  EXPECT_EQ(answers["127.0.0.37"].reason, "no answer to SNMP v2c or v1 with community \"public\"");
}

// With no file descriptor left for a socket, the reason says so.
TEST_F(SnmpAgents, RunningOutOfFileDescriptorsIsSaidAsSuch) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer needs file descriptors of its own to report";
#endif
  Start("127.0.0.41", {});
  const auto questions = Questions();
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit none = saved;
  none.rlim_cur = 0;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &none), 0);
  auto answers = AskAll(*questions, {"127.0.0.41"});
  setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_EQ(answers["127.0.0.41"].verdict, ServerVerdict::Unreachable);
  EXPECT_EQ(answers["127.0.0.41"].reason, "no SNMP session: Too many open files");
}

// Printers that speak IPP, each asked at the address of its URI: ours, for
// the states ippeveprinter cannot show, one of them late, one silent, one
// with a value of the wrong type. A device with no IPP is asked over SNMP,
// and from then on only so.
TEST_F(SnmpAgents, IppPrintersAreAskedOverIppAndOtherwiseOverSnmp) {
  using testing::ScriptedIppPrinter;
  const std::map<std::string, ScriptedIppPrinter::Behaviour> behaviours{
      {"127.0.0.51", {.state = {5, {"media-empty-error", "toner-low-warning"}, "Load paper"}}},
      {"127.0.0.52", {.state = {3, {"media-jam"}}}},
      {"127.0.0.53", {.state = {5, {"fuser-under-temp-error"}}}},
      {"127.0.0.54", {.state = {4, {"toner-low-warning"}}, .delay = 2s}},
      {"127.0.0.55", {.wrongTypes = true}},
      {"127.0.0.56", {.silent = true}}};
  std::vector<std::unique_ptr<ScriptedIppPrinter>> printers;
  std::map<std::string, std::string> uri;
  for (const auto& [address, behaviour] : behaviours) {
    printers.push_back(std::make_unique<ScriptedIppPrinter>(std::vector{address}, behaviour));
    ASSERT_NE(printers.back()->Port(), 0) << address;
    uri[address] = printers.back()->Uri(address);
  }
  SnmpTestAgent& snmpOnly = Start("127.0.0.57", {});
  uri["127.0.0.57"] = "ipp://127.0.0.57:" + std::to_string(printers.front()->Port()) + "/ipp/print";
  std::vector<std::string> asked;
  for (const auto& [address, name] : uri) asked.push_back(name);

  const auto questions = IppThenSnmp();
  auto answers = AskAll(*questions, asked);
  const auto reading = [&](const char* address) { return answers[uri[address]].value; };
  EXPECT_EQ(reading("127.0.0.51").readiness, DeviceReadiness::NeedsAttention);
  EXPECT_EQ(reading("127.0.0.51").condition, "media empty, toner low");
  EXPECT_EQ(reading("127.0.0.51").said, "stopped, media-empty-error, toner-low-warning: Load paper");
  EXPECT_EQ(reading("127.0.0.52").condition, "media jam");
  EXPECT_EQ(reading("127.0.0.53").readiness, DeviceReadiness::WarmingUp);
  EXPECT_EQ(reading("127.0.0.54").readiness, DeviceReadiness::Ready);
  EXPECT_EQ(reading("127.0.0.54").warnings, "toner low");
  EXPECT_EQ(reading("127.0.0.55").condition, "it sent a value of the wrong type: printer-state as keyword");
  EXPECT_EQ(answers[uri["127.0.0.56"]].verdict, ServerVerdict::TimedOut);
  EXPECT_EQ(answers[uri["127.0.0.56"]].reason,
            "no answer over IPP at 127.0.0.56:" + std::to_string(printers.back()->Port()) +
                " within 3 s; no answer to SNMP v2c or v1 with community \"public\"");
  EXPECT_EQ(reading("127.0.0.57").said, "running, idle");

  const int before = snmpOnly.Requests();
  answers = AskAll(*questions, {uri["127.0.0.57"]});
  EXPECT_EQ(reading("127.0.0.57").said, "running, idle");
  EXPECT_EQ(snmpOnly.Requests(), before + 1);
}

// Writes an ippeveprinter print command that reports supplies running
// low while it prints, for `seconds`.
std::string LowSuppliesCommand(const testing::TempFolder& folder, int seconds) {
  const std::filesystem::path path = folder.path() / "print";
  testing::WriteFile(path,
                     "#!/bin/sh\ncat >/dev/null\necho 'STATE: +media-low,toner-low' >&2\nsleep " +
                         std::to_string(seconds) + "\n",
                     std::filesystem::perms::owner_all);
  return path.string();
}

// Sends ippeveprinter a PDF document, straight.
void PrintTo(const std::string& uri, const testing::TempFolder& folder) {
  char scheme[32], user[64], host[64], resource[256];
  int port = 0;
  httpSeparateURI(HTTP_URI_CODING_ALL, uri.c_str(), scheme, sizeof scheme, user, sizeof user, host, sizeof host,
                  &port, resource, sizeof resource);
  const std::filesystem::path pdf = folder.path() / "page.pdf";
  testing::WriteFile(pdf, "%PDF-1.4\n%%EOF\n", std::filesystem::perms::owner_all);
  http_t* http = httpConnect2(host, port, nullptr, AF_INET, HTTP_ENCRYPTION_IF_REQUESTED, 1, 5000, nullptr);
  ASSERT_NE(http, nullptr);
  ipp_t* request = ippNewRequest(IPP_OP_PRINT_JOB);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr, "application/pdf");
  ipp_t* response = cupsDoFileRequest(http, request, resource, pdf.c_str());
  EXPECT_EQ(ippGetStatusCode(response), IPP_STATUS_OK) << cupsLastErrorString();
  ippDelete(response);
  httpClose(http);
}

// ippeveprinter as the device, over ipp and over ipps (TLS), as a queue
// names it: idle with reports is ready, printing with warnings is ready
// with the warnings named, and a certificate this machine's libcups does
// not trust is not talked to.
TEST(IppPrinters, IppeveprinterIsAskedOverIppAndIpps) {
  std::string why;
  const auto cupsd = testing::PrivateCupsd::Start(&why);
  const testing::TempFolder folder;
  const auto eve = cupsd ? testing::IppPrinter::Start("application/pdf", &why, LowSuppliesCommand(folder, 3))
                         : nullptr;
  if (!eve) {
    if (testing::CupsdRequired()) FAIL() << why;
    GTEST_SKIP() << why;
  }
  ASSERT_TRUE(cupsd->AddQueue("Eve", eve->Uri("ipps") + "?waitjob=false", &why)) << why;
  const SpoolerLogin login;
  Deadline deadline(kServerPatience);
  const auto located = CupsDeviceLocator(login).Locate({"Eve"}, deadline);
  ASSERT_EQ(located.size(), 1u);
  EXPECT_EQ(located[0].value.host, eve->Uri("ipps"));

  const std::vector<std::string> both{eve->Uri("ipp"), eve->Uri("ipps")};
  const auto questions = IppDeviceStatus(std::make_unique<SnmpDeviceStatus>()).Open("public");
  for (auto& [name, answer] : AskAll(*questions, both)) {
    ASSERT_TRUE(answer.Answered()) << name << ": " << answer.reason;
    EXPECT_EQ(answer.value.readiness, DeviceReadiness::Ready) << name;
    EXPECT_EQ(answer.value.said, "idle: Idle.") << name;
  }
  PrintTo(eve->Uri("ipp"), folder);
  std::this_thread::sleep_for(1s);
  for (auto& [name, answer] : AskAll(*questions, both)) {
    EXPECT_EQ(answer.value.readiness, DeviceReadiness::Ready) << name;
    EXPECT_EQ(answer.value.warnings, "media low, toner low") << name << ": " << answer.value.said;
  }
  std::this_thread::sleep_for(3s);
  auto answers = AskAll(*questions, {eve->Uri("ipps")});
  EXPECT_EQ(answers[eve->Uri("ipps")].value.said, "idle, media-low-report, toner-low-report: Idle.");
  EXPECT_EQ(answers[eve->Uri("ipps")].value.warnings, "");

  testing::WriteFile(cupsd->UserHome() + "/client.conf", "TrustOnFirstUse No\n",
                     std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  answers = AskAll(*IppDeviceStatus(std::make_unique<SnmpDeviceStatus>()).Open("public"), {eve->Uri("ipps")});
  EXPECT_EQ(answers[eve->Uri("ipps")].value.readiness, DeviceReadiness::NotKnown);
  EXPECT_EQ(answers[eve->Uri("ipps")].value.condition,
            "its certificate is not trusted: Trust on first use is disabled.");
}

}  // namespace
}  // namespace brisakett
