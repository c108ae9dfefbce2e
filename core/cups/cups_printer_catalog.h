#pragma once

#include "password_prompt.h"
#include "printer_catalog.h"

namespace brisakett {

// CUPS destinations on the scheduler that CUPS_SERVER, client.conf or the
// local default point at. An instance is listed as "queue/instance".
class CupsPrinterCatalog final : public PrinterCatalog {
public:
  explicit CupsPrinterCatalog(const SpoolerLogin& login) : login_(login) {}

  SpoolerAnswer<std::vector<std::string>> DeviceNames(Deadline& deadline) const override;
  SpoolerAnswer<bool> IsInstalled(const std::string& name, Deadline& deadline) const override;
  SpoolerAnswer<std::optional<std::string>> DefaultDeviceName(Deadline& deadline) const override;

private:
  const SpoolerLogin& login_;
};

}  // namespace brisakett
