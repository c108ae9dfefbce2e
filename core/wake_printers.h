#pragma once

#include <functional>
#include <string>
#include <vector>

#include "job_watcher.h"
#include "printer_catalog.h"
#include "spooler.h"
#include "wake_outcome.h"
#include "wake_settings.h"

namespace brisakett {

// Wakes every printer in `deviceNames`, each as a press of "OK" would, in
// three stages: the jobs submitted (several at a time, on threads of their
// own), then with `settings.follow` each accepted job followed through the
// spooler until the printer has it, then each device asked until it
// reports itself ready, all from the calling thread until each printer's
// outcome is known or the time is up; the whole run then ends within that
// time and the bound of one answer. `finished` is called on the calling
// thread once per printer, as each one's outcome is known.
void WakePrinters(const std::vector<std::string>& deviceNames, const PrinterCatalog& printers,
                  Spooler& spooler, const JobWatcher& watcher, const WakeSettings& settings,
                  const std::function<void(const PrinterWakeReport&)>& finished);

}  // namespace brisakett
