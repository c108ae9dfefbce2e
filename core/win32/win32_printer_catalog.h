#pragma once

#include "printer_catalog.h"

namespace brisakett {

// The local printers and the user's printer connections, as the Windows
// spooler lists them (EnumPrintersW), and the user's default printer.
class Win32PrinterCatalog final : public PrinterCatalog {
public:
  std::vector<std::string> DeviceNames() const override;
  std::optional<std::string> DefaultDeviceName() const override;
};

}  // namespace brisakett
