#pragma once

#include <string>
#include <vector>

#include "printer_catalog.h"

namespace brisakett {

// Every listed printer except the saved instances, which are the same
// queue again: what `--all` wakes. The list is read once, within
// `deadline`.
SpoolerAnswer<std::vector<std::string>> AllWakeTargets(const PrinterCatalog& printers,
                                                       Deadline& deadline);

// The names in the order given, each once.
std::vector<std::string> EachOnce(const std::vector<std::string>& named);

// True when the device name is a saved instance of a queue (CUPS's
// "queue/instance") rather than a queue of its own.
bool NamesAnInstance(const std::string& deviceName);

}  // namespace brisakett
