#pragma once

#include <memory>

#include "device_status_source.h"
#include "password_prompt.h"

namespace brisakett {

// Where each queue's printer is, as the system's spooler knows it, and
// how its status is asked (SNMP). Linux only for now; the locator keeps a
// reference to the login, which must outlive it.
std::unique_ptr<DeviceLocator> MakeSystemDeviceLocator(const SpoolerLogin& login);
std::unique_ptr<DeviceStatusSource> MakeSystemDeviceStatusSource();

}  // namespace brisakett
