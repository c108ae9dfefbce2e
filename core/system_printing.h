#pragma once

#include <memory>

#include "job_watcher.h"
#include "printer_catalog.h"
#include "spooler.h"

namespace brisakett {

// The operating system's own printer list, spooler and job states: CUPS on
// Linux, the Windows spooler on Windows.
std::unique_ptr<PrinterCatalog> MakeSystemPrinterCatalog();
std::unique_ptr<Spooler> MakeSystemSpooler();
std::unique_ptr<JobWatcher> MakeSystemJobWatcher();

}  // namespace brisakett
