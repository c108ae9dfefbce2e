#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brisakett {

// Whether a printer that has its warm-up job can print, as the device
// itself tells it in one reading.
enum class DeviceReadiness {
  Ready,           // idle or printing: warmed up
  WarmingUp,       // warming up, or still in power save or standby
  NeedsAttention,  // something keeps it from printing
  NotKnown,        // says nothing yet that tells: testing, unknown, a malformed reply
};

struct DeviceStatus {
  DeviceReadiness readiness = DeviceReadiness::NotKnown;
  // What keeps it from being ready, in words: "warming up", "door open,
  // low toner", "it reports testing, idle"; empty for a ready printer.
  std::string condition;
  // Warnings that do not stop it (low toner), for a ready or warming
  // printer; a printer that needs attention names them in `condition`.
  std::string warnings;
  // What the device said, in words, for the report ("running, idle").
  std::string said;
  // A source that says nothing of the device now, and will not soon (the
  // Windows spooler's status of 0): asking again is no use.
  bool tellsNothing = false;
  // When its answer came.
  std::chrono::steady_clock::time_point at = std::chrono::steady_clock::now();
};

// The device's values as RFC 3805 (section 2.2.13.2, with RFC 2790's
// hrPrinterStatus and hrPrinterDetectedErrorState) reads them together:
// hrDeviceStatus, hrPrinterStatus and the error bits, each missing when
// the device did not give it. `malformed` says what came in a form those
// RFCs do not allow (a value of the wrong type): the reading then tells
// nothing yet.
DeviceStatus ReadPrinterMib(std::optional<long> hrDeviceStatus, std::optional<long> hrPrinterStatus,
                            std::string_view detectedErrorState, std::string_view malformed = {});

// A printer that speaks IPP, as RFC 8011 reads its printer-state (section
// 5.4.11: 3 idle, 4 processing, 5 stopped; missing when not given),
// printer-state-reasons (section 5.4.12, each keyword as given, with its
// "-report", "-warning" or "-error" suffix or none) and
// printer-state-message. `malformed` as for ReadPrinterMib.
DeviceStatus ReadIppPrinterState(std::optional<int> printerState, const std::vector<std::string>& reasons,
                                 std::string_view message, std::string_view malformed = {});

// The errors among a print queue's printer-state-reasons, in words ("media
// empty"): only those the spooler marks "-error", since its own keywords
// for what it is doing ("connecting-to-device", "paused") carry no suffix.
// Empty when there is none.
std::string SpoolerErrors(const std::vector<std::string>& reasons);

// A reading that tells nothing: the device answered in a way that cannot
// be read (`why`).
DeviceStatus UnreadableStatus(std::string why);

// Adds `more` to a list of words for a reason: "no paper, jammed".
void AppendWords(std::string& list, std::string_view more);

// Which device to ask for a queue, from its device URI's scheme and host:
// the host, or nothing with why it is not asked.
struct DeviceToAsk {
  std::string host;      // empty: not asked
  std::string whyNot;    // when not asked
  // Its scheme is IPP's: ipp, ipps, or http and https as CUPS uses them.
  bool speaksIpp = false;
};
// `serverIsRemote`: the queue lives on another machine's print server, so
// a loopback host in its device URI is that machine's, not ours.
DeviceToAsk ChooseDeviceToAsk(std::string_view scheme, std::string_view host, bool serverIsRemote);

// Whether a host name or address names this machine.
bool IsLoopbackHost(std::string_view host);

}  // namespace brisakett
