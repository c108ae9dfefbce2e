// The SNMP device status source as a module of its own: net-snmp, and the
// OpenSSL it brings, are loaded only when a device is asked.
#include "posix/device_status_module.h"
#include "posix/snmp_device_status.h"

extern "C" __attribute__((visibility("default"))) brisakett::DeviceStatusSource*
brisakett_device_status_source() {
  return new brisakett::SnmpDeviceStatus();
}
