#pragma once

#include <cstdint>

#include "device_status.h"

namespace brisakett {

// A printer's state from the Windows spooler's printer status bits
// (PRINTER_INFO_2 Status). The spooler fills them from the device only now
// and then, and between times shows a printer as idle with no bit set: a
// status of 0 says nothing, and no bit says "ready". Every set bit is
// named in the reason and in what the device said. Plain numbers, so that
// it builds and is tested everywhere.
DeviceStatus ReadWindowsPrinterStatus(std::uint32_t status);

}  // namespace brisakett
