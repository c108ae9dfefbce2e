#pragma once

#include <string>
#include <vector>

#include "printer_catalog.h"

namespace brisakett {

struct WakeTargets {
  std::vector<std::string> known;    // in the order asked, each once
  std::vector<std::string> unknown;  // named, but not in the printer list
};

// The printers a run of several wakes: those named, each checked against
// the list byte for byte, or with `all` every listed printer except the
// saved instances, which are the same queue again.
// The list is read once, within `deadline`.
SpoolerAnswer<WakeTargets> ChooseWakeTargets(const PrinterCatalog& printers,
                                             const std::vector<std::string>& named, bool all,
                                             Deadline& deadline);

// True when the device name is a saved instance of a queue (CUPS's
// "queue/instance") rather than a queue of its own.
bool NamesAnInstance(const std::string& deviceName);

}  // namespace brisakett
