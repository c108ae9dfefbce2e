#pragma once

#include <memory>

#include "device_status_source.h"
#include "password_prompt.h"

namespace brisakett {

// Where each queue's printer is, as the system's spooler knows it, and
// how its status is asked: over SNMP on Linux, from the spooler's own
// printer status on Windows. The locator keeps a reference to the login,
// which must outlive it.
std::unique_ptr<DeviceLocator> MakeSystemDeviceLocator(const SpoolerLogin& login);
std::unique_ptr<DeviceStatusSource> MakeSystemDeviceStatusSource();

}  // namespace brisakett
