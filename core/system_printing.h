#pragma once

#include <memory>

#include "password_prompt.h"
#include "printer_catalog.h"
#include "spooler.h"

namespace brisakett {

// The operating system's own printer list and spooler: CUPS on Linux,
// the Windows spooler on Windows. Both keep a reference to the login,
// which must outlive them.
std::unique_ptr<PrinterCatalog> MakeSystemPrinterCatalog(const SpoolerLogin& login);
std::unique_ptr<Spooler> MakeSystemSpooler(const SpoolerLogin& login);

}  // namespace brisakett
