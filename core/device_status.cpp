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

// hrPrinterDetectedErrorState: bit 0 is the first octet's highest bit.
struct ErrorBit {
  int bit;
  const char* words;
  bool stopsPrinting;  // otherwise a warning
};
constexpr ErrorBit kErrorBits[] = {
    {1, "no paper", true},       {3, "no toner", true},          {4, "door open", true},
    {5, "jammed", true},         {6, "offline", true},           {7, "service requested", true},
    {0, "low paper", false},     {2, "low toner", false},
};

bool BitSet(std::string_view octets, int bit) {
  const std::size_t octet = static_cast<std::size_t>(bit) / 8;
  return octet < octets.size() &&
         (static_cast<unsigned char>(octets[octet]) & (0x80u >> (bit % 8))) != 0;
}

const char* DeviceWord(long value) {
  switch (value) {
    case kRunning: return "running";
    case kWarning: return "warning";
    case kTesting: return "testing";
    case kDown: return "down";
    default: return "unknown";
  }
}

const char* PrinterWord(long value) {
  switch (value) {
    case kOther: return "other";
    case kIdle: return "idle";
    case kPrinting: return "printing";
    case kWarmup: return "warmup";
    default: return "unknown";
  }
}

DeviceStatus Status(DeviceReadiness readiness, std::string condition, std::string said) {
  DeviceStatus status;
  status.readiness = readiness;
  status.condition = std::move(condition);
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
                            std::string_view detectedErrorState) {
  std::string said;
  if (hrDeviceStatus) AppendWords(said, DeviceWord(*hrDeviceStatus));
  if (hrPrinterStatus) AppendWords(said, PrinterWord(*hrPrinterStatus));
  std::string stops, warnings;
  for (const ErrorBit& error : kErrorBits) {
    if (BitSet(detectedErrorState, error.bit)) AppendWords(error.stopsPrinting ? stops : warnings, error.words);
  }
  AppendWords(said, stops);
  AppendWords(said, warnings);

  if (hrDeviceStatus == kDown || !stops.empty()) {
    return Status(DeviceReadiness::NeedsAttention, stops.empty() ? "the device is down" : stops,
                  said);
  }
  if (hrPrinterStatus == kWarmup) return Status(DeviceReadiness::WarmingUp, "warming up", said);
  if (hrDeviceStatus == kRunning && hrPrinterStatus == kOther) {
    return Status(DeviceReadiness::WarmingUp, "in power save or standby", said);
  }
  if ((hrPrinterStatus == kIdle || hrPrinterStatus == kPrinting) &&
      (hrDeviceStatus == kRunning || hrDeviceStatus == kWarning)) {
    if (warnings.empty() && hrDeviceStatus == kWarning) warnings = "the device reports a warning";
    return Status(DeviceReadiness::Ready, warnings, said);
  }
  return Status(DeviceReadiness::NotKnown, said.empty() ? "" : "it reports " + said, said);
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
