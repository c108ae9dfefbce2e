#include <gtest/gtest.h>

#include "posix/device_status_module.h"

namespace brisakett {
namespace {

// A module that is not where the program looks (a broken installation)
// still gives every device its answer: not reachable, in the loader's words.
TEST(DeviceStatusModuleTest, MissingModuleLeavesEveryDeviceUnreachableWithTheLoadersWords) {
  const DeviceStatusModule module("no-such-folder/brisakett-snmp.so");
  const auto questions = module.Open("public");
  std::vector<SpoolerAnswer<DeviceStatus>> answers;
  for (const char* host : {"192.0.2.1", "printer.example"}) {
    questions->Ask(host, [&answers](SpoolerAnswer<DeviceStatus> answer) { answers.push_back(answer); });
  }
  ASSERT_EQ(answers.size(), 2u);
  for (const SpoolerAnswer<DeviceStatus>& answer : answers) {
    EXPECT_EQ(answer.verdict, ServerVerdict::Unreachable);
    EXPECT_NE(answer.reason.find("/no-such-folder/brisakett-snmp.so: cannot open"), std::string::npos)
        << answer.reason;
  }
}

}  // namespace
}  // namespace brisakett
