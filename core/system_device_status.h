#pragma once

#include <memory>

#include "device_status_source.h"
#include "password_prompt.h"

namespace brisakett {

// Where each queue's printer is, as the system's spooler knows it, and
// how its status is asked: on Linux over IPP where the printer speaks it,
// otherwise over SNMP; on Windows from the spooler's own printer status.
// The locator keeps a reference to the login, which must outlive it.
std::unique_ptr<DeviceLocator> MakeSystemDeviceLocator(const SpoolerLogin& login);
std::unique_ptr<DeviceStatusSource> MakeSystemDeviceStatusSource();

}  // namespace brisakett
