#pragma once

#include "printer_catalog.h"

namespace brisakett {

// The local printers and the user's printer connections, as the Windows
// spooler lists them (EnumPrintersW), and the user's default printer.
class Win32PrinterCatalog final : public PrinterCatalog {
public:
  SpoolerAnswer<std::vector<std::string>> DeviceNames(Deadline& deadline) const override;
  SpoolerAnswer<std::optional<std::string>> DefaultDeviceName(Deadline& deadline) const override;
};

}  // namespace brisakett
