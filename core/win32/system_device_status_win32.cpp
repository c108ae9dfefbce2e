#include "system_device_status.h"

#include "win32/win32_device_status.h"

namespace brisakett {

// The spooler answers for its own printers with the user's own rights:
// there is no login to keep.
std::unique_ptr<DeviceLocator> MakeSystemDeviceLocator(const SpoolerLogin&) {
  return std::make_unique<Win32DeviceLocator>();
}

std::unique_ptr<DeviceStatusSource> MakeSystemDeviceStatusSource() {
  return std::make_unique<Win32DeviceStatus>();
}

}  // namespace brisakett
