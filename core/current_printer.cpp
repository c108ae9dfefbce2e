#include "current_printer.h"

namespace brisakett {

bool SelectPrinter(const PrinterCatalog& printers, CurrentPrinter& current,
                   std::string name) {
  for (std::string& deviceName : printers.DeviceNames()) {
    if (deviceName == name) {
      current.deviceName_ = std::move(deviceName);
      return true;
    }
  }
  return false;
}

}  // namespace brisakett
