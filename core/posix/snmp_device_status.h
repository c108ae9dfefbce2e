#pragma once

#include <cstdint>

#include "device_status_source.h"

namespace brisakett {

// Asks printers over SNMP (net-snmp, v1 messages, which every agent that
// speaks v2c also takes) for hrDeviceStatus, hrPrinterStatus and
// hrPrinterDetectedErrorState: all hosts at once, one session each, read
// in one loop. Each host gets about 3 s (three tries a second apart) and
// no more than the deadline.
class SnmpDeviceStatus final : public DeviceStatusSource {
public:
  explicit SnmpDeviceStatus(std::uint16_t port = 161) : port_(port) {}

  std::vector<SpoolerAnswer<DeviceStatus>> Ask(const std::vector<std::string>& hosts,
                                               const std::string& community,
                                               Deadline& deadline) const override;

private:
  std::uint16_t port_;
};

}  // namespace brisakett
