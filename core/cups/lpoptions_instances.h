#pragma once

#include <string>
#include <vector>

namespace brisakett {

// A destination as libcups names it: a queue, or one of its instances.
struct CupsDest {
  std::string queue;
  std::string instance;  // empty for the queue itself
};

// Merges the lpoptions files into the scheduler's queues the way
// cupsGetDests2 does: the system file ($CUPS_SERVERROOT or /etc/cups) first,
// then ~/.cups/lpoptions. "Dest queue/instance ..." and "Default
// queue/instance ..." lines add instances of listed queues; a queue named in
// another case takes the files' first spelling; lines for queues that are
// not listed are left out. The result is in libcups's order: by queue name
// ignoring ASCII case, each queue before its instances.
void AddLpoptionsInstances(std::vector<CupsDest>& dests);

}  // namespace brisakett
