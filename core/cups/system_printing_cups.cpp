#include "system_printing.h"

#include "cups/cups_job_watcher.h"
#include "cups/cups_printer_catalog.h"
#include "cups/cups_spooler.h"

namespace brisakett {

std::unique_ptr<PrinterCatalog> MakeSystemPrinterCatalog(const SpoolerLogin& login) {
  return std::make_unique<CupsPrinterCatalog>(login);
}

std::unique_ptr<Spooler> MakeSystemSpooler(const SpoolerLogin& login) {
  return std::make_unique<CupsSpooler>(login);
}

std::unique_ptr<JobWatcher> MakeSystemJobWatcher(const SpoolerLogin& login) {
  return std::make_unique<CupsJobWatcher>(login);
}

}  // namespace brisakett
