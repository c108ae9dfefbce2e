#include "system_device_status.h"

#include "cups/cups_device_locator.h"
#include "cups/ipp_device_status.h"
#include "posix/snmp_device_status.h"

namespace brisakett {

std::unique_ptr<DeviceLocator> MakeSystemDeviceLocator(const SpoolerLogin& login) {
  return std::make_unique<CupsDeviceLocator>(login);
}

std::unique_ptr<DeviceStatusSource> MakeSystemDeviceStatusSource() {
  return std::make_unique<IppDeviceStatus>(std::make_unique<SnmpDeviceStatus>());
}

}  // namespace brisakett
