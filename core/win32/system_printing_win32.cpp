#include "system_printing.h"

#include "win32/win32_job_watcher.h"
#include "win32/win32_printer_catalog.h"
#include "win32/win32_spooler.h"

namespace brisakett {

// The Windows spooler asks for credentials itself, so the login is unused.
std::unique_ptr<PrinterCatalog> MakeSystemPrinterCatalog(const SpoolerLogin&) {
  return std::make_unique<Win32PrinterCatalog>();
}

std::unique_ptr<Spooler> MakeSystemSpooler(const SpoolerLogin&) {
  return std::make_unique<Win32Spooler>();
}

std::unique_ptr<JobWatcher> MakeSystemJobWatcher(const SpoolerLogin&) {
  return std::make_unique<Win32JobWatcher>();
}

}  // namespace brisakett
