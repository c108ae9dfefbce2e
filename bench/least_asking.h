#pragma once

#include <string>
#include <vector>

namespace brisakett::bench {

struct SchedulerAnswers {
  std::string defaultName;
  std::vector<std::string> names;
};

// The window's two questions asked of the scheduler the least way known, on
// the calling thread: the default by one CUPS-Get-Default for printer-name
// alone, then the list by the program's own CupsPrinterCatalog::DeviceNames
// on a connection of its own (one CUPS-Get-Printers for printer-name alone,
// read in a few large reads, with the lpoptions instances), because
// libcups' own reading of a list of 5000 queues takes longer than the
// program's whole start-up. Empty answers when the scheduler cannot be
// reached.
SchedulerAnswers AskTheLeastWay();

}  // namespace brisakett::bench
