#include "win32/win32_device_status.h"

#include <windows.h>
#include <winspool.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "win32/printer_handle.h"
#include "win32/spooler_error.h"
#include "win32/utf16.h"
#include "win32/win32_registry.h"
#include "windows_printer_status.h"
#include "within_deadline.h"

namespace brisakett {
namespace {

constexpr const char* kTcpIpPorts =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port\\Ports";

// What the spooler holds of a printer, or the error that kept it from
// telling.
struct PrinterRecord {
  DWORD status = 0;
  std::string portNames;
  bool failed = false;
  DWORD error = ERROR_SUCCESS;
};

// Opens the printer and reads its PRINTER_INFO_2W. Runs on a thread that
// the caller may leave behind at the deadline.
PrinterRecord ReadPrinterRecord(const std::shared_ptr<WinspoolCalls>& winspool,
                                const std::string& deviceName) {
  const PrinterOpening opened = OpenPrinterNamed(winspool, deviceName);
  if (!opened.printer) return {0, {}, true, opened.error};
  std::vector<BYTE> record;
  DWORD needed = 0;
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    if (winspool->GetPrinterW(opened.printer.Get(), 2, record.empty() ? nullptr : record.data(),
                              static_cast<DWORD>(record.size()), &needed) &&
        !record.empty()) {
      break;
    }
    const DWORD error = GetLastError();
    // The record may grow between the size and the read (a port added).
    if (error != ERROR_INSUFFICIENT_BUFFER || needed == 0) return {0, {}, true, error};
    record.resize(needed);
  }
  const auto& printer = *reinterpret_cast<const PRINTER_INFO_2W*>(record.data());
  return {printer.Status, printer.pPortName ? Utf8FromWide(printer.pPortName) : std::string()};
}

bool AsksDevice(const std::string& port) {
  Win32Registry registry;
  return TcpIpPortAsksDevice(registry, port);
}

// A REG_DWORD value of a key; nothing when the key or value is missing or
// of another type.
std::optional<std::uint32_t> ReadDword(Registry& registry, const std::string& keyName,
                                       const std::string& valueName) {
  constexpr std::uint32_t kKeyRead = 0x20019;
  RegistryKey key{};
  if (registry.OpenKey(kHkeyLocalMachine, keyName, kKeyRead, key) != kErrorSuccess) return {};
  std::uint32_t type = 0;
  std::uint32_t value = 0;
  std::uint32_t size = sizeof value;
  const long read =
      registry.QueryValue(key, valueName, type, reinterpret_cast<unsigned char*>(&value), size);
  registry.CloseKey(key);
  if (read != kErrorSuccess || type != kRegDword || size != sizeof value) return {};
  return value;
}

}  // namespace

bool TcpIpPortAsksDevice(Registry& registry, const std::string& port) {
  // A name with a backslash would reach another key than the port's.
  if (port.empty() || port.find('\\') != std::string::npos) return false;
  // The monitor passes what it polls on to the spooler unless its
  // StatusUpdateEnabled (on by default) is off.
  if (ReadDword(registry, kTcpIpPorts, "StatusUpdateEnabled").value_or(1) == 0) return false;
  return ReadDword(registry, std::string(kTcpIpPorts) + "\\" + port, "SNMP Enabled") == 1u;
}

bool PortReportsStatus(const std::string& deviceName, std::string_view portNames,
                       const std::function<bool(const std::string& port)>& asksDevice) {
  if (PrintServerOf(deviceName) != "localhost") return false;
  bool any = false;
  while (!portNames.empty()) {
    const std::size_t comma = portNames.find(',');
    std::string_view port = portNames.substr(0, comma);
    portNames = comma == std::string_view::npos ? std::string_view() : portNames.substr(comma + 1);
    while (!port.empty() && port.front() == ' ') port.remove_prefix(1);
    while (!port.empty() && port.back() == ' ') port.remove_suffix(1);
    if (port.empty()) continue;
    // A pool has one status for all its devices: it is their word only
    // when every port asks its device.
    if (!asksDevice(std::string(port))) return false;
    any = true;
  }
  return any;
}

DeviceAddress AddressOfPrinter(const std::string& deviceName, bool portReportsStatus) {
  if (!portReportsStatus) return {{}, kPortDoesNotReport};
  return {deviceName, {}};
}

Win32DeviceLocator::Win32DeviceLocator(std::shared_ptr<WinspoolCalls> winspool)
    : winspool_(std::move(winspool)) {}

std::vector<SpoolerAnswer<DeviceAddress>> Win32DeviceLocator::Locate(
    const std::vector<std::string>& deviceNames, Deadline& deadline) const {
  std::vector<SpoolerAnswer<DeviceAddress>> addresses;
  addresses.reserve(deviceNames.size());
  for (const std::string& deviceName : deviceNames) {
    const std::string server = PrintServerOf(deviceName);
    if (server != "localhost") {
      // Not worth a call to the other server: its answer could not change this.
      addresses.emplace_back(AddressOfPrinter(deviceName, false));
      continue;
    }
    const std::optional<PrinterRecord> read =
        WithinDeadline(deadline, [winspool = winspool_, deviceName] {
          return ReadPrinterRecord(winspool, deviceName);
        });
    if (!read) {
      addresses.emplace_back(SpoolerTimedOut(server));
    } else if (read->failed) {
      addresses.emplace_back(SpoolerFailureOf(read->error, server));
    } else {
      addresses.emplace_back(
          AddressOfPrinter(deviceName, PortReportsStatus(deviceName, read->portNames, AsksDevice)));
    }
  }
  return addresses;
}

Win32DeviceStatus::Win32DeviceStatus(std::shared_ptr<WinspoolCalls> winspool)
    : winspool_(std::move(winspool)) {}

namespace {

// One printer's status, read within `deadline`.
SpoolerAnswer<DeviceStatus> AskPrinter(const std::shared_ptr<WinspoolCalls>& winspool,
                                       const std::string& deviceName, Deadline& deadline) {
  const std::string server = PrintServerOf(deviceName);
  const std::optional<PrinterRecord> read =
      WithinDeadline(deadline, [winspool, deviceName] { return ReadPrinterRecord(winspool, deviceName); });
  if (!read) return SpoolerTimedOut(server);
  if (read->failed) return SpoolerFailureOf(read->error, server);
  return ReadWindowsPrinterStatus(read->status);
}

// Each question on a thread of its own, since a spooler call may block
// for as long as the network lets it; an answer that comes after the
// questions are closed is not given.
class Win32Questions final : public DeviceQuestions {
public:
  explicit Win32Questions(std::shared_ptr<WinspoolCalls> winspool) : winspool_(std::move(winspool)) {}

  ~Win32Questions() override {
    const std::lock_guard lock(state_->mutex);
    state_->open = false;
  }

  void Ask(const std::string& host, Answered answered) override {
    std::thread([state = state_, winspool = winspool_, host, answered = std::move(answered)] {
      Deadline deadline(kServerPatience);
      SpoolerAnswer<DeviceStatus> answer = AskPrinter(winspool, host, deadline);
      const std::lock_guard lock(state->mutex);
      if (state->open) answered(std::move(answer));
    }).detach();
  }

private:
  struct State {
    std::mutex mutex;
    bool open = true;
  };
  std::shared_ptr<WinspoolCalls> winspool_;
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace

std::unique_ptr<DeviceQuestions> Win32DeviceStatus::Open(const std::string&) const {
  return std::make_unique<Win32Questions>(winspool_);
}

}  // namespace brisakett
