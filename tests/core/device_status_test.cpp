#include <gtest/gtest.h>

#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "device_status.h"

namespace brisakett {
namespace {

using R = DeviceReadiness;

// hrPrinterDetectedErrorState with these bits set (bit 0 is the first
// octet's highest).
std::string Bits(std::initializer_list<int> bits) {
  std::string octets(2, '\0');
  for (const int bit : bits) octets[static_cast<std::size_t>(bit / 8)] |= static_cast<char>(0x80 >> (bit % 8));
  return octets;
}
std::string Bit(int bit) { return Bits({bit}); }

// RFC 3805's overall printer states, each as hrDeviceStatus,
// hrPrinterStatus and error bits, then what the reading makes of them.
TEST(DeviceStatus, ThePrinterMibsStatesReadAsTheRfcDescribesThem) {
  const std::string none("\x00\x00", 2);
  struct Row {
    const char* state;
    std::optional<long> device, printer;
    std::string errors;
    R readiness;
    std::string words;  // the condition, or the warnings of a ready printer
  };
  const Row rows[] = {
      {"idle", 2, 3, none, R::Ready, ""},
      {"busy", 2, 4, none, R::Ready, ""},
      {"idle, no error state given", 2, 3, "", R::Ready, ""},
      {"idle, device status not given", std::nullopt, 3, none, R::Ready, ""},
      {"non-critical alert", 3, 3, Bit(2), R::Ready, "low toner"},
      {"non-critical alert: service", 3, 4, Bit(7), R::Ready, "service requested"},
      {"warning without a bit", 3, 3, none, R::Ready, "the device reports a warning"},
      {"critical alert", 5, 1, Bit(5), R::NeedsAttention, "jammed"},
      {"critical alert with service", 5, 1, Bits({4, 7}), R::NeedsAttention,
       "door open, service requested"},
      {"unavailable", 5, 1, none, R::NeedsAttention, "unavailable"},
      {"down, service requested", 5, 1, Bit(7), R::NeedsAttention, "service requested"},
      {"moving off-line", 3, 3, Bit(6), R::NeedsAttention, "offline"},
      {"off-line", 5, 1, Bit(6), R::NeedsAttention, "offline"},
      {"moving on-line", 5, 5, none, R::WarmingUp, "warming up"},
      {"warming after power save", 2, 5, none, R::WarmingUp, "warming up"},
      {"standby", 2, 1, none, R::WarmingUp, "in power save or standby"},
      {"standby with a warning", 3, 1, Bit(2), R::WarmingUp, "in power save or standby"},
      {"testing", 4, 3, none, R::NotKnown, "it reports testing, idle"},
      {"testing, warmup", 4, 5, none, R::NotKnown, "it reports testing, warmup"},
      {"device unknown", 1, 3, none, R::NotKnown, "it reports unknown, idle"},
      {"printer unknown", 2, 2, none, R::NotKnown, "it reports running, unknown"},
      {"printer not given", 2, std::nullopt, none, R::NotKnown, "it reports running"},
      {"out of range", 9, 3, none, R::NotKnown, "it reports hrDeviceStatus 9, idle"},
      {"nothing given", std::nullopt, std::nullopt, "", R::NotKnown,
       "it gives none of its status values"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.state);
    const DeviceStatus status = ReadPrinterMib(row.device, row.printer, row.errors);
    EXPECT_EQ(status.readiness, row.readiness);
    EXPECT_EQ(row.readiness == R::Ready ? status.warnings : status.condition, row.words);
  }
  const DeviceStatus wrongType = ReadPrinterMib(2, 3, none, "a value of the wrong type: hrPrinterStatus");
  EXPECT_EQ(wrongType.readiness, R::NotKnown);
  EXPECT_EQ(wrongType.condition, "it sent a value of the wrong type: hrPrinterStatus");
  EXPECT_EQ(ReadPrinterMib(3, 1, Bit(2)).warnings, "low toner");
}

// Every bit RFC 2790 defines, named in the reading whatever its outcome:
// the ones that stop printing make the printer need attention even when
// it says idle; the rest are warnings of a ready printer.
TEST(DeviceStatus, EveryErrorBitIsNamedAndTheStoppingOnesNeedAttention) {
  const std::pair<const char*, bool> bits[] = {
      {"low paper", false},          {"no paper", true},
      {"low toner", false},          {"no toner", true},
      {"door open", true},           {"jammed", true},
      {"offline", true},             {"service requested", false},
      {"input tray missing", false}, {"output tray missing", true},
      {"marker supply missing", true}, {"output nearly full", false},
      {"output full", true},         {"input tray empty", false},
      {"preventive maintenance overdue", false},
  };
  for (int bit = 0; bit < 15; ++bit) {
    const auto& [words, stops] = bits[bit];
    SCOPED_TRACE(words);
    const DeviceStatus status = ReadPrinterMib(2, 3, Bit(bit));
    EXPECT_EQ(status.readiness, stops ? R::NeedsAttention : R::Ready);
    EXPECT_EQ(stops ? status.condition : status.warnings, words);
    EXPECT_EQ(status.said, std::string("running, idle, ") + words);
  }
  EXPECT_EQ(ReadPrinterMib(2, 5, Bits({5, 2})).condition, "jammed, low toner");
  EXPECT_EQ(ReadPrinterMib(2, 3, std::string("\x00\x00\xff", 3)).readiness, R::Ready);  // bits to come
}

// printer-state and printer-state-reasons as RFC 8011 defines them, with
// the warm-up reasons of RFC 8011 and PWG 5100.9, then what the reading
// makes of them. A reason without a suffix is an error, but for the
// sub-states RFC 8011 names; a warm-up reason in any suffix is warming up.
TEST(DeviceStatus, IppPrinterStatesReadAsRfc8011DescribesThem) {
  using Reasons = std::vector<std::string>;
  struct Row {
    std::optional<int> state;
    Reasons reasons;
    R readiness;
    std::string words;  // the condition, or the warnings of a ready printer
  };
  const Row rows[] = {
      {3, {"none"}, R::Ready, ""},
      {3, {"marker-supply-low-report", "media-low-report"}, R::Ready, ""},
      {4, {"toner-low-warning", "media-low-warning"}, R::Ready, "toner low, media low"},
      {3, {}, R::Ready, ""},
      {5, {"media-empty-error"}, R::NeedsAttention, "media empty"},
      {3, {"cover-open-error", "toner-low-warning"}, R::NeedsAttention, "cover open, toner low"},
      {3, {"media-jam"}, R::NeedsAttention, "media jam"},  // no suffix: an error
      {3, {"other"}, R::NeedsAttention, "other"},
      {5, {"none"}, R::NeedsAttention, "stopped"},
      {5, {"paused"}, R::NeedsAttention, "paused"},
      {4, {"moving-to-paused-report"}, R::NeedsAttention, "moving to paused"},
      {3, {"fuser-under-temp-warning"}, R::WarmingUp, "warming up"},
      {5, {"fuser-under-temp-error", "toner-low-warning"}, R::WarmingUp, "warming up"},
      {4, {"fuser-under-temp"}, R::WarmingUp, "warming up"},
      {3, {"subunit-warming-up-report"}, R::WarmingUp, "warming up"},
      {5, {"fuser-under-temp-report", "media-empty-error"}, R::NeedsAttention, "media empty"},
      {4, {"connecting-to-device"}, R::NotKnown, "it reports processing, connecting-to-device"},
      {5, {"timed-out-report"}, R::NotKnown, "it reports stopped, timed-out-report"},
      {5, {"shutdown"}, R::NotKnown, "it reports stopped, shutdown"},
      {3, {"cups-waiting-for-job-completed"}, R::Ready, ""},
      {9, {"none"}, R::NotKnown, "it reports printer-state 9"},
      {std::nullopt, {"none"}, R::NotKnown, "it gives no printer-state"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.reasons));
    const DeviceStatus status = ReadIppPrinterState(row.state, row.reasons, {});
    EXPECT_EQ(status.readiness, row.readiness);
    EXPECT_EQ(row.readiness == R::Ready ? status.warnings : status.condition, row.words);
  }
  const DeviceStatus warming = ReadIppPrinterState(3, {"fuser-under-temp-warning", "toner-low-warning"}, "Warming up");
  EXPECT_EQ(warming.warnings, "toner low");
  EXPECT_EQ(warming.said, "idle, fuser-under-temp-warning, toner-low-warning: Warming up");
  const DeviceStatus wrong = ReadIppPrinterState(std::nullopt, {}, {}, "a value of the wrong type: printer-state as keyword");
  EXPECT_EQ(wrong.readiness, R::NotKnown);
  EXPECT_EQ(wrong.condition, "it sent a value of the wrong type: printer-state as keyword");

  // The spooler's own reasons for a queue: only what it marks "-error".
  EXPECT_EQ(SpoolerErrors({"media-empty-error", "toner-low-warning", "paused", "offline-report",
                           "fuser-under-temp-error", "connecting-to-device"}),
            "media empty");
  EXPECT_EQ(SpoolerErrors({"none"}), "");
}

// A network device is asked at its host, unless that host is the print
// server's own loopback on another machine; the rest are not asked.
TEST(DeviceStatus, WhichDeviceIsAsked) {
  EXPECT_EQ(ChooseDeviceToAsk("socket", "192.0.2.7", false).host, "192.0.2.7");
  EXPECT_EQ(ChooseDeviceToAsk("ipps", "drucker.example", true).host, "drucker.example");
  EXPECT_EQ(ChooseDeviceToAsk("lpd", "127.0.0.5", false).host, "127.0.0.5");
  EXPECT_FALSE(ChooseDeviceToAsk("socket", "192.0.2.7", false).speaksIpp);
  for (const char* scheme : {"ipp", "ipps", "http", "https"}) {
    EXPECT_TRUE(ChooseDeviceToAsk(scheme, "192.0.2.7", false).speaksIpp) << scheme;
  }
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
