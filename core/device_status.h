#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace brisakett {

// Whether a printer that has its warm-up job can print, as the device
// itself tells it.
enum class DeviceReadiness {
  Ready,           // idle or printing: warmed up
  WarmingUp,       // warming up, or still in power save or standby
  NeedsAttention,  // up, but something keeps it from printing
  NotKnown,        // does not tell: no status, or one that says nothing yet
};

struct DeviceStatus {
  DeviceReadiness readiness = DeviceReadiness::NotKnown;
  // Why it is not ready (door open, no paper...), or a warning that does
  // not stop it (low toner); empty when there is nothing to say.
  std::string condition;
  // What the device said, in words, for the report ("running, idle").
  std::string said;
  // When its answer came.
  std::chrono::steady_clock::time_point at = std::chrono::steady_clock::now();
};

// The device's values, read together as RFC 3805 (Printer MIB v2)
// describes: hrDeviceStatus, hrPrinterStatus and the bits of
// hrPrinterDetectedErrorState, each missing when the device did not give
// it. Conditions that stop printing (a down device, an open door...) decide
// before the printer's own state: a jammed printer may well say "idle".
DeviceStatus ReadPrinterMib(std::optional<long> hrDeviceStatus, std::optional<long> hrPrinterStatus,
                            std::string_view detectedErrorState);

// Adds `more` to a list of words for a reason: "no paper, jammed".
void AppendWords(std::string& list, std::string_view more);

// Which device to ask for a queue, from its device URI's scheme and host:
// the host, or nothing with why it is not asked.
struct DeviceToAsk {
  std::string host;      // empty: not asked
  std::string whyNot;    // when not asked
};
// `serverIsRemote`: the queue lives on another machine's print server, so
// a loopback host in its device URI is that machine's, not ours.
DeviceToAsk ChooseDeviceToAsk(std::string_view scheme, std::string_view host, bool serverIsRemote);

// Whether a host name or address names this machine.
bool IsLoopbackHost(std::string_view host);

}  // namespace brisakett
