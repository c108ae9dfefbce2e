#pragma once

#include <memory>

#include "device_status_source.h"

namespace brisakett {

// Asks the printers that speak IPP themselves: a device named by its ipp,
// ipps, http or https printer URI is asked with Get-Printer-Attributes for
// printer-state, printer-state-reasons and printer-state-message, at the
// host and port of that URI and under the print server's rules: within
// 3 s, an ipp device following a demand for TLS, an ipps device over TLS
// with its certificate trusted as libcups trusts certificates on this
// machine. Each question runs on a thread of its own, so a device that
// answers late holds up no other.
//
// Every other device, and one that gives no answer over IPP, is asked
// through `otherwise` (SNMP, at the host of its URI). IPP goes first: the
// job has just reached the printer at that very address over IPP, while
// many such printers ship with SNMP switched off, and its state reasons
// tell more than the Host Resources MIB. Once a device has answered one
// way, it is asked that way for the rest of the run.
class IppDeviceStatus final : public DeviceStatusSource {
public:
  explicit IppDeviceStatus(std::unique_ptr<DeviceStatusSource> otherwise)
      : otherwise_(std::move(otherwise)) {}

  std::unique_ptr<DeviceQuestions> Open(const std::string& community) const override;

private:
  std::unique_ptr<DeviceStatusSource> otherwise_;
};

}  // namespace brisakett
