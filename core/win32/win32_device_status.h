#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "device_status_source.h"
#include "registry.h"
#include "win32/winspool_calls.h"

namespace brisakett {

// Why a printer is not asked: the spooler's status of it is only its own
// bookkeeping, not the device's word.
inline constexpr const char* kPortDoesNotReport = "its port does not report the printer's status";

// Whether the Standard TCP/IP port named `port` has its SNMP status on and
// its monitor passes the status on to the spooler, as the monitor records
// both in the registry. False for a port of any other monitor (USB, FILE:,
// LPT, WSD, Wine's CUPS ports): they have no key there.
bool TcpIpPortAsksDevice(Registry& registry, const std::string& port);

// Whether the spooler's status of the printer `deviceName` is the
// device's: every port in `portNames` (PRINTER_INFO_2's pPortName, a comma
// list for a printer pool) is one whose monitor asks the device, as
// `asksDevice` tells. A connection to another server's printer never is:
// its ports are that server's, which this computer's registry does not
// know.
bool PortReportsStatus(const std::string& deviceName, std::string_view portNames,
                       const std::function<bool(const std::string& port)>& asksDevice);

// Where the run asks for a printer: the printer itself, through the
// spooler, so its device name is its "host".
DeviceAddress AddressOfPrinter(const std::string& deviceName, bool portReportsStatus);

// Each printer's port, read from the spooler (GetPrinterW level 2) under
// the deadline, and the registry.
class Win32DeviceLocator final : public DeviceLocator {
public:
  explicit Win32DeviceLocator(std::shared_ptr<WinspoolCalls> winspool = SystemWinspool());

  std::vector<SpoolerAnswer<DeviceAddress>> Locate(const std::vector<std::string>& deviceNames,
                                                   Deadline& deadline) const override;

private:
  std::shared_ptr<WinspoolCalls> winspool_;
};

// Each printer's status as the spooler holds it (PRINTER_INFO_2's Status),
// which the Standard TCP/IP port monitor fills from the device over SNMP,
// every few minutes at best: a set bit is the device's word, a status of
// 0 says nothing (ReadWindowsPrinterStatus). The hosts are device names,
// as Win32DeviceLocator gives them; the SNMP community is the port's own,
// set in its configuration.
class Win32DeviceStatus final : public DeviceStatusSource {
public:
  explicit Win32DeviceStatus(std::shared_ptr<WinspoolCalls> winspool = SystemWinspool());

  std::unique_ptr<DeviceQuestions> Open(const std::string& community) const override;

private:
  std::shared_ptr<WinspoolCalls> winspool_;
};

}  // namespace brisakett
