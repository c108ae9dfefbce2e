#include "system_printing.h"

#include "cups/cups_job_watcher.h"
#include "cups/cups_printer_catalog.h"
#include "cups/cups_spooler.h"

namespace brisakett {

std::unique_ptr<PrinterCatalog> MakeSystemPrinterCatalog() {
  return std::make_unique<CupsPrinterCatalog>();
}

std::unique_ptr<Spooler> MakeSystemSpooler() { return std::make_unique<CupsSpooler>(); }

std::unique_ptr<JobWatcher> MakeSystemJobWatcher() { return std::make_unique<CupsJobWatcher>(); }

}  // namespace brisakett
