#pragma once

#include <memory>

#include "printer_catalog.h"
#include "spooler.h"

namespace brisakett {

// The operating system's own printer list and spooler: CUPS on Linux,
// the Windows spooler on Windows.
std::unique_ptr<PrinterCatalog> MakeSystemPrinterCatalog();
std::unique_ptr<Spooler> MakeSystemSpooler();

}  // namespace brisakett
