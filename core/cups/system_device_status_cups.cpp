#include "system_device_status.h"

#include "cups/cups_device_locator.h"
#include "cups/ipp_device_status.h"
#include "posix/device_status_module.h"

namespace brisakett {

std::unique_ptr<DeviceLocator> MakeSystemDeviceLocator(const SpoolerLogin& login) {
  return std::make_unique<CupsDeviceLocator>(login);
}

// A device that speaks IPP is asked over IPP first; the rest, and one that
// does not answer IPP, over SNMP, by a module loaded only once a device is
// asked that way (BRISAKETT_SNMP_MODULE: its path from the program's folder).
std::unique_ptr<DeviceStatusSource> MakeSystemDeviceStatusSource() {
  return std::make_unique<IppDeviceStatus>(std::make_unique<DeviceStatusModule>(BRISAKETT_SNMP_MODULE));
}

}  // namespace brisakett
