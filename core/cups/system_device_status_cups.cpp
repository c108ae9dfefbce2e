#include "system_device_status.h"

#include "cups/cups_device_locator.h"
#include "posix/device_status_module.h"

namespace brisakett {

std::unique_ptr<DeviceLocator> MakeSystemDeviceLocator(const SpoolerLogin& login) {
  return std::make_unique<CupsDeviceLocator>(login);
}

// Devices are asked over SNMP, by a module loaded only once one is asked
// (BRISAKETT_SNMP_MODULE: its path from the program's folder).
std::unique_ptr<DeviceStatusSource> MakeSystemDeviceStatusSource() {
  return std::make_unique<DeviceStatusModule>(BRISAKETT_SNMP_MODULE);
}

}  // namespace brisakett
