#include "printer_catalog.h"

#include <algorithm>

namespace brisakett {

SpoolerAnswer<bool> PrinterCatalog::IsInstalled(const std::string& name,
                                                Deadline& deadline) const {
  const SpoolerAnswer<std::vector<std::string>> listed = DeviceNames(deadline);
  if (!listed.Answered()) return {listed, false};
  const std::vector<std::string>& names = listed.value;
  return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace brisakett
