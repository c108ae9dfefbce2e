#include "wake_targets.h"

#include <algorithm>
#include <unordered_set>

namespace brisakett {

SpoolerAnswer<std::vector<std::string>> AllWakeTargets(const PrinterCatalog& printers,
                                                       Deadline& deadline) {
  SpoolerAnswer<std::vector<std::string>> listed = printers.DeviceNames(deadline);
  std::erase_if(listed.value, NamesAnInstance);
  return listed;
}

std::vector<std::string> EachOnce(const std::vector<std::string>& named) {
  std::vector<std::string> once;
  std::unordered_set<std::string> seen;
  for (const std::string& name : named) {
    if (seen.insert(name).second) once.push_back(name);
  }
  return once;
}

}  // namespace brisakett
