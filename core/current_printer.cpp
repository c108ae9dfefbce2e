#include "current_printer.h"

namespace brisakett {

CurrentPrinter CurrentPrinter::FromDefault(const PrinterCatalog& printers) {
  Deadline deadline(kServerPatience);
  return CurrentPrinter(printers.DefaultDeviceName(deadline).value);
}

bool SelectPrinter(const PrinterCatalog& printers, CurrentPrinter& current, std::string name,
                   Deadline& deadline, ServerAnswer* asked) {
  const SpoolerAnswer<bool> installed = printers.IsInstalled(name, deadline);
  if (asked) *asked = installed;
  if (!installed.Answered() || !installed.value) return false;
  current.deviceName_ = std::move(name);
  return true;
}

}  // namespace brisakett
