// The SNMP questions to printers against agents that answer as real ones
// do: late, in one version only, at another row, or broken.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <chrono>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "posix/snmp_device_status.h"
#include "snmp_test_agent.h"

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

}  // namespace
}  // namespace brisakett
