#pragma once

#include "printer_catalog.h"

namespace brisakett {

// CUPS destinations on the scheduler that CUPS_SERVER, client.conf or the
// local default point at. An instance is listed as "queue/instance".
class CupsPrinterCatalog final : public PrinterCatalog {
public:
  std::vector<std::string> DeviceNames() const override;
  std::optional<std::string> DefaultDeviceName() const override;
};

}  // namespace brisakett
