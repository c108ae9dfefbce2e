#include "wake_targets.h"

#include <algorithm>
#include <unordered_set>

namespace brisakett {

SpoolerAnswer<WakeTargets> ChooseWakeTargets(const PrinterCatalog& printers,
                                             const std::vector<std::string>& named, bool all,
                                             Deadline& deadline) {
  const SpoolerAnswer<std::vector<std::string>> answer = printers.DeviceNames(deadline);
  if (!answer.Answered()) return {{}, answer.failure};
  const std::vector<std::string>& listed = answer.value;
  WakeTargets targets;
  if (all) {
    std::copy_if(listed.begin(), listed.end(), std::back_inserter(targets.known),
                 [](const std::string& name) { return !NamesAnInstance(name); });
    return {targets, {}};
  }
  const std::unordered_set<std::string> known(listed.begin(), listed.end());
  std::unordered_set<std::string> seen;
  for (const std::string& name : named) {
    if (!seen.insert(name).second) continue;
    (known.count(name) ? targets.known : targets.unknown).push_back(name);
  }
  return {targets, {}};
}

}  // namespace brisakett
