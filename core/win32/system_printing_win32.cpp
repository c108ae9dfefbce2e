#include "system_printing.h"

#include "win32/win32_job_watcher.h"
#include "win32/win32_printer_catalog.h"
#include "win32/win32_spooler.h"

namespace brisakett {

std::unique_ptr<PrinterCatalog> MakeSystemPrinterCatalog() {
  return std::make_unique<Win32PrinterCatalog>();
}

std::unique_ptr<Spooler> MakeSystemSpooler() { return std::make_unique<Win32Spooler>(); }

std::unique_ptr<JobWatcher> MakeSystemJobWatcher() { return std::make_unique<Win32JobWatcher>(); }

}  // namespace brisakett
