#include "device_status.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <utility>
#include <vector>

namespace brisakett {
namespace {

// hrDeviceStatus (RFC 2790).
enum : long { kDeviceUnknown = 1, kRunning = 2, kWarning = 3, kTesting = 4, kDown = 5 };
// hrPrinterStatus (RFC 2790, read with RFC 3805).
enum : long { kOther = 1, kPrinterUnknown = 2, kIdle = 3, kPrinting = 4, kWarmup = 5 };

// hrPrinterDetectedErrorState (RFC 2790): bit 0 is the first octet's
// highest bit. A bit that stops printing makes the printer need attention
// whatever the rest says; a warning is named and nothing more. RFC 3805
// reads lowPaper, lowToner and serviceRequested as its "non-critical
// alert", with the printer still printing.
struct ErrorBit {
  int bit;
  const char* words;
  bool stopsPrinting;  // otherwise a warning
};
constexpr ErrorBit kErrorBits[] = {
    {1, "no paper", true},
    {3, "no toner", true},
    {4, "door open", true},
    {5, "jammed", true},
    {6, "offline", true},
    {10, "marker supply missing", true},
    {9, "output tray missing", true},
    {12, "output full", true},
    {0, "low paper", false},
    {2, "low toner", false},
    {7, "service requested", false},
    {13, "input tray empty", false},
    {8, "input tray missing", false},
    {11, "output nearly full", false},
    {14, "preventive maintenance overdue", false},
};

bool BitSet(std::string_view octets, int bit) {
  const std::size_t octet = static_cast<std::size_t>(bit) / 8;
  return octet < octets.size() &&
         (static_cast<unsigned char>(octets[octet]) & (0x80u >> (bit % 8))) != 0;
}

std::string DeviceWord(long value) {
  switch (value) {
    case kDeviceUnknown: return "unknown";
    case kRunning: return "running";
    case kWarning: return "warning";
    case kTesting: return "testing";
    case kDown: return "down";
    default: return "hrDeviceStatus " + std::to_string(value);
  }
}

std::string PrinterWord(long value) {
  switch (value) {
    case kOther: return "other";
    case kPrinterUnknown: return "unknown";
    case kIdle: return "idle";
    case kPrinting: return "printing";
    case kWarmup: return "warmup";
    default: return "hrPrinterStatus " + std::to_string(value);
  }
}

DeviceStatus Status(DeviceReadiness readiness, std::string condition, std::string warnings,
                    std::string said) {
  DeviceStatus status;
  status.readiness = readiness;
  status.condition = std::move(condition);
  status.warnings = std::move(warnings);
  status.said = std::move(said);
  return status;
}

}  // namespace

void AppendWords(std::string& list, std::string_view more) {
  if (more.empty()) return;
  if (!list.empty()) list += ", ";
  list += more;
}

DeviceStatus ReadPrinterMib(std::optional<long> hrDeviceStatus, std::optional<long> hrPrinterStatus,
                            std::string_view detectedErrorState, std::string_view malformed) {
  std::string said;
  if (hrDeviceStatus) AppendWords(said, DeviceWord(*hrDeviceStatus));
  if (hrPrinterStatus) AppendWords(said, PrinterWord(*hrPrinterStatus));
  std::string stops, warnings;
  for (const ErrorBit& error : kErrorBits) {
    if (BitSet(detectedErrorState, error.bit)) AppendWords(error.stopsPrinting ? stops : warnings, error.words);
  }
  AppendWords(said, stops);
  AppendWords(said, warnings);
  std::string everyBit = stops;
  AppendWords(everyBit, warnings);

  using R = DeviceReadiness;
  if (!malformed.empty()) {
    return Status(R::NotKnown, "it sent " + std::string(malformed), {}, said);
  }
  if (!stops.empty()) return Status(R::NeedsAttention, everyBit, {}, said);
  // Down and warmup together is RFC 3805's "moving on-line"; running and
  // warmup a printer coming out of power save.
  if (hrPrinterStatus == kWarmup && hrDeviceStatus != kTesting) {
    return Status(R::WarmingUp, "warming up", warnings, said);
  }
  // "Critical alert active", "unavailable" and "off-line" alike.
  if (hrDeviceStatus == kDown) {
    return Status(R::NeedsAttention, everyBit.empty() ? "unavailable" : everyBit, {}, said);
  }
  if (hrPrinterStatus == kOther && (hrDeviceStatus == kRunning || hrDeviceStatus == kWarning)) {
    return Status(R::WarmingUp, "in power save or standby", warnings, said);
  }
  if ((hrPrinterStatus == kIdle || hrPrinterStatus == kPrinting) &&
      (!hrDeviceStatus || hrDeviceStatus == kRunning || hrDeviceStatus == kWarning)) {
    if (warnings.empty() && hrDeviceStatus == kWarning) warnings = "the device reports a warning";
    return Status(R::Ready, {}, warnings, said);
  }
  return Status(R::NotKnown, said.empty() ? "it gives none of its status values" : "it reports " + said,
                {}, said);
}

DeviceStatus UnreadableStatus(std::string why) {
  return Status(DeviceReadiness::NotKnown, std::move(why), {}, {});
}

bool IsLoopbackHost(std::string_view host) {
  std::string name(host);
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (name.size() > 2 && name.front() == '[' && name.back() == ']') name = name.substr(1, name.size() - 2);
  if (!name.empty() && name.back() == '.') name.pop_back();
  return name == "localhost" || name.ends_with(".localhost") || name == "::1" ||
         name.starts_with("127.") || name == "localhost.localdomain";
}

DeviceToAsk ChooseDeviceToAsk(std::string_view scheme, std::string_view host, bool serverIsRemote) {
  // Only these reach a device over the network; a usb, file, parallel or
  // serial device has no address, and a dnssd:// name is a service that
  // the server resolves, not a host we could reach.
  constexpr std::string_view kNetwork[] = {"socket", "lpd", "ipp", "ipps", "http", "https"};
  if (std::find(std::begin(kNetwork), std::end(kNetwork), scheme) == std::end(kNetwork)) {
    return {{}, scheme.empty() ? "no device" : "a " + std::string(scheme) + " device"};
  }
  if (host.empty()) return {{}, "no host in its device address"};
  if (serverIsRemote && IsLoopbackHost(host)) {
    return {{}, "its device is local to the print server"};
  }
  return {std::string(host), {}};
}

}  // namespace brisakett
