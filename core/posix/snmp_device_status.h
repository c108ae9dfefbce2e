#pragma once

#include <cstdint>

#include "device_status_source.h"

namespace brisakett {

// Asks printers over SNMP (net-snmp) for hrDeviceStatus, hrPrinterStatus
// and hrPrinterDetectedErrorState at the printer's own row of the Host
// Resources MIB. The first question to a device sends v2c and v1 at once,
// since an agent may take either alone, and finds the printer's row;
// both are kept for the run. A silent device costs about 3 s (three tries
// a second apart); a device that answers within them is heard.
class SnmpDeviceStatus final : public DeviceStatusSource {
public:
  explicit SnmpDeviceStatus(std::uint16_t port = 161) : port_(port) {}

  std::unique_ptr<DeviceQuestions> Open(const std::string& community) const override;

private:
  std::uint16_t port_;
};

}  // namespace brisakett
