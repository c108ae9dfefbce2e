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

// A printer-state-reason as RFC 8011 reads it: its keyword and the
// severity its suffix gives. A keyword without a suffix is to be taken as
// an error.
struct StateReason {
  enum class Severity { Report, Warning, Error } severity = Severity::Error;
  std::string_view keyword;
  bool suffixed = false;

  explicit StateReason(std::string_view value) : keyword(value) {
    constexpr std::pair<std::string_view, Severity> kSuffixes[] = {
        {"-report", Severity::Report}, {"-warning", Severity::Warning}, {"-error", Severity::Error}};
    for (const auto& [suffix, severity] : kSuffixes) {
      if (value.size() > suffix.size() && value.ends_with(suffix)) {
        keyword = value.substr(0, value.size() - suffix.size());
        this->severity = severity;
        suffixed = true;
        break;
      }
    }
  }

  // What the keyword says whatever its suffix, where it says more than
  // its severity.
  enum class Meaning { Nothing, WarmingUp, Paused, NotYetKnown, Severity };
  Meaning Means() const {
    if (keyword == "none") return Meaning::Nothing;
    // RFC 8011's fuser below its temperature, and the warming up of a
    // printer's sub-unit that PWG 5100.9 names ("subunit-warming-up").
    if (keyword == "fuser-under-temp" || keyword.ends_with("-warming-up")) return Meaning::WarmingUp;
    if (keyword == "paused" || keyword == "moving-to-paused") return Meaning::Paused;
    // The way to the device (a print server connecting to it, or getting
    // no response from it) or a printer taken out of service: nothing yet
    // of whether the printer prints.
    if (keyword == "connecting-to-device" || keyword == "timed-out" || keyword == "shutdown") {
      return Meaning::NotYetKnown;
    }
    // CUPS (a print server in front of the device) words its own doings
    // ("cups-waiting-for-job-completed") without a suffix; no error.
    if (!suffixed && keyword.starts_with("cups-")) return Meaning::Nothing;
    return Meaning::Severity;
  }

  // "media-empty" as words: "media empty".
  std::string Words() const {
    std::string words(keyword);
    std::replace(words.begin(), words.end(), '-', ' ');
    return words;
  }
};

std::string IppStateWord(int state) {
  switch (state) {
    case 3: return "idle";
    case 4: return "processing";
    case 5: return "stopped";
    default: return "printer-state " + std::to_string(state);
  }
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

DeviceStatus ReadIppPrinterState(std::optional<int> printerState, const std::vector<std::string>& reasons,
                                 std::string_view message, std::string_view malformed) {
  std::string said = printerState ? IppStateWord(*printerState) : std::string();
  for (const std::string& reason : reasons) {
    if (reason != "none") AppendWords(said, reason);
  }
  if (!message.empty()) said += (said.empty() ? "" : ": ") + std::string(message);

  using R = DeviceReadiness;
  if (!malformed.empty()) return Status(R::NotKnown, "it sent " + std::string(malformed), {}, said);
  std::string errors, warnings;
  bool warming = false, notYetKnown = false;
  for (const std::string& value : reasons) {
    const StateReason reason(value);
    switch (reason.Means()) {
      case StateReason::Meaning::Nothing: break;
      case StateReason::Meaning::WarmingUp: warming = true; break;
      case StateReason::Meaning::Paused: AppendWords(errors, reason.Words()); break;
      case StateReason::Meaning::NotYetKnown: notYetKnown = true; break;
      case StateReason::Meaning::Severity:
        if (reason.severity == StateReason::Severity::Error) AppendWords(errors, reason.Words());
        if (reason.severity == StateReason::Severity::Warning) AppendWords(warnings, reason.Words());
        break;
    }
  }
  if (!errors.empty()) {
    AppendWords(errors, warnings);
    return Status(R::NeedsAttention, errors, {}, said);
  }
  // A printer warming up may say stopped until its fuser is hot.
  if (warming) return Status(R::WarmingUp, "warming up", warnings, said);
  if (notYetKnown) return Status(R::NotKnown, "it reports " + said, {}, said);
  if (printerState == 5) {
    std::string stopped = "stopped";
    AppendWords(stopped, warnings);
    return Status(R::NeedsAttention, stopped, {}, said);
  }
  if (printerState == 3 || printerState == 4) return Status(R::Ready, {}, warnings, said);
  return Status(R::NotKnown, said.empty() ? "it gives no printer-state" : "it reports " + said, {}, said);
}

std::string SpoolerErrors(const std::vector<std::string>& reasons) {
  std::string errors;
  for (const std::string& value : reasons) {
    const StateReason reason(value);
    if (reason.suffixed && reason.severity == StateReason::Severity::Error &&
        reason.Means() != StateReason::Meaning::WarmingUp) {
      AppendWords(errors, reason.Words());
    }
  }
  return errors;
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
  constexpr std::string_view kIpp[] = {"ipp", "ipps", "http", "https"};
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
  const bool speaksIpp = std::find(std::begin(kIpp), std::end(kIpp), scheme) != std::end(kIpp);
  return {std::string(host), {}, speaksIpp};
}

}  // namespace brisakett
