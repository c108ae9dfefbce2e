#pragma once

#include <cstdint>

#include "device_status.h"

namespace brisakett {

// A printer's state from the Windows spooler's printer status bits
// (PRINTER_INFO_2 Status). `portReportsStatus`: the printer's port asks the
// device (a standard TCP/IP port with SNMP on); otherwise a status of 0
// only means nobody asked. Plain numbers, so that it builds and is tested
// everywhere.
DeviceStatus ReadWindowsPrinterStatus(std::uint32_t status, bool portReportsStatus);

}  // namespace brisakett
