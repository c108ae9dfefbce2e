#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "device_status.h"

namespace brisakett {
namespace {

using R = DeviceReadiness;

// hrDeviceStatus, hrPrinterStatus and the error bits over their
// combinations: the stopping conditions decide before the printer's own
// state, "other" is power save only on a running device, and ready needs
// both values to say so.
TEST(DeviceStatus, PrinterMibCombinations) {
  const std::string none("\x00\x00", 2);
  const std::string doorOpen("\x08\x00", 2);
  const std::string lowToner("\x20", 1);
  const std::string jammedNoPaper("\x44", 1);
  const std::string serviceRequested("\x01", 1);
  struct Row {
    std::optional<long> device, printer;
    std::string errors;
    R readiness;
    std::string condition;
  };
  const Row rows[] = {
      {2, 3, none, R::Ready, ""},
      {2, 4, none, R::Ready, ""},
      {3, 3, lowToner, R::Ready, "low toner"},
      {3, 4, none, R::Ready, "the device reports a warning"},
      {2, 3, "", R::Ready, ""},  // no error state given at all
      {2, 5, none, R::WarmingUp, "warming up"},
      {3, 5, lowToner, R::WarmingUp, "warming up"},
      {2, 1, none, R::WarmingUp, "in power save or standby"},
      {5, 3, none, R::NeedsAttention, "the device is down"},
      {5, 5, none, R::NeedsAttention, "the device is down"},
      {3, 3, doorOpen, R::NeedsAttention, "door open"},
      {2, 5, doorOpen, R::NeedsAttention, "door open"},
      {2, 1, jammedNoPaper, R::NeedsAttention, "no paper, jammed"},
      {2, 4, serviceRequested, R::NeedsAttention, "service requested"},
      {std::nullopt, 3, doorOpen, R::NeedsAttention, "door open"},
      {3, 1, none, R::NotKnown, "it reports warning, other"},
      {1, 3, none, R::NotKnown, "it reports unknown, idle"},
      {2, 2, none, R::NotKnown, "it reports running, unknown"},
      {4, 3, none, R::NotKnown, "it reports testing, idle"},
      {std::nullopt, 3, none, R::NotKnown, "it reports idle"},
      {std::nullopt, std::nullopt, "", R::NotKnown, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.device.value_or(0)) + "/" + std::to_string(row.printer.value_or(0)) +
                 " " + row.condition);
    const DeviceStatus status = ReadPrinterMib(row.device, row.printer, row.errors);
    EXPECT_EQ(status.readiness, row.readiness);
    EXPECT_EQ(status.condition, row.condition);
  }
  EXPECT_EQ(ReadPrinterMib(3, 3, lowToner).said, "warning, idle, low toner");
}

// A network device is asked at its host, unless that host is the print
// server's own loopback on another machine; the rest are not asked.
TEST(DeviceStatus, WhichDeviceIsAsked) {
  EXPECT_EQ(ChooseDeviceToAsk("socket", "192.0.2.7", false).host, "192.0.2.7");
  EXPECT_EQ(ChooseDeviceToAsk("ipps", "drucker.example", true).host, "drucker.example");
  EXPECT_EQ(ChooseDeviceToAsk("lpd", "127.0.0.5", false).host, "127.0.0.5");
  for (const char* host : {"localhost", "127.0.0.1", "[::1]", "LocalHost."}) {
    EXPECT_EQ(ChooseDeviceToAsk("ipp", host, true).host, "") << host;
  }
  for (const char* scheme : {"usb", "file", "dnssd", "parallel"}) {
    const DeviceToAsk device = ChooseDeviceToAsk(scheme, "anything", false);
    EXPECT_EQ(device.host, "") << scheme;
    EXPECT_FALSE(device.whyNot.empty()) << scheme;
  }
}

}  // namespace
}  // namespace brisakett
