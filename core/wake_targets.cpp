#include "wake_targets.h"

#include <algorithm>
#include <unordered_set>

namespace brisakett {

WakeTargets ChooseWakeTargets(const PrinterCatalog& printers,
                              const std::vector<std::string>& named, bool all) {
  const std::vector<std::string> listed = printers.DeviceNames();
  WakeTargets targets;
  if (all) {
    std::copy_if(listed.begin(), listed.end(), std::back_inserter(targets.known),
                 [](const std::string& name) { return !NamesAnInstance(name); });
    return targets;
  }
  const std::unordered_set<std::string> known(listed.begin(), listed.end());
  std::unordered_set<std::string> seen;
  for (const std::string& name : named) {
    if (!seen.insert(name).second) continue;
    (known.count(name) ? targets.known : targets.unknown).push_back(name);
  }
  return targets;
}

}  // namespace brisakett
