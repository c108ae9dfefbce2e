#pragma once

#include <functional>
#include <string>
#include <vector>

#include "wake_printers.h"

namespace brisakett {

// One print server of a run that wakes printers on several, as the run
// names it (its label in every report), with what reaches it.
struct ServerOfRun {
  std::string label;
  const PrinterCatalog& printers;
  Spooler& spooler;
  const JobWatcher& watcher;
  const DeviceLocator* locator = nullptr;
};

// Wakes printers on every server at once, each server on threads of its
// own with its own connections, passwords and deadlines, so that a slow
// or silent server never holds up another's printers; the run's time is
// the same for all, counted from `settings.started`. With `all`, every
// printer each server lists (a server that cannot list them has one
// report of its own, with no printer name); otherwise each named printer
// on every server that lists it, a name no server lists reported
// not-recognized once, and a named printer on a server that cannot be
// asked reported with that server's failure. `finished` is called once
// per report, one call at a time, from any of the run's threads.
void WakeOnServers(const std::vector<ServerOfRun>& servers, bool all,
                   const std::vector<std::string>& names, const WakeSettings& settings,
                   const std::function<void(const PrinterWakeReport&)>& finished);

}  // namespace brisakett
