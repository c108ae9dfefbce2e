#pragma once

#include <memory>

#include "job_watcher.h"
#include "password_prompt.h"
#include "printer_catalog.h"
#include "spooler.h"

namespace brisakett {

// The operating system's own printer list, spooler and job states: CUPS on
// Linux, the Windows spooler on Windows. Each keeps a reference to the
// login, which must outlive them.
std::unique_ptr<PrinterCatalog> MakeSystemPrinterCatalog(const SpoolerLogin& login);
std::unique_ptr<Spooler> MakeSystemSpooler(const SpoolerLogin& login);
std::unique_ptr<JobWatcher> MakeSystemJobWatcher(const SpoolerLogin& login);

}  // namespace brisakett
