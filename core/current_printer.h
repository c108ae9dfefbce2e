#pragma once

#include <optional>
#include <string>

#include "printer_catalog.h"

namespace brisakett {

// The application's current printer: one per program, shared by the
// printer list and the warm-up job, changed only through SelectPrinter.
class CurrentPrinter {
public:
  explicit CurrentPrinter(std::optional<std::string> deviceName)
      : deviceName_(std::move(deviceName)) {}

  // Starts on the user's default printer, as the catalog reports it; on
  // none when there is no default or the spooler cannot be asked.
  static CurrentPrinter FromDefault(const PrinterCatalog& printers);

  // Empty when there is no current printer.
  std::string DeviceName() const { return deviceName_.value_or(std::string()); }
  bool HasPrinter() const { return deviceName_.has_value(); }

private:
  friend bool SelectPrinter(const PrinterCatalog&, CurrentPrinter&, std::string, Deadline&,
                            ServerAnswer*);
  std::optional<std::string> deviceName_;
};

// Makes the installed printer whose name equals `name` byte for byte the
// current one. Returns false, leaving the current printer alone, when no
// installed printer has that name, and also when the spooler cannot or will
// not say: *asked (when given) is the spooler's verdict on the question.
bool SelectPrinter(const PrinterCatalog& printers, CurrentPrinter& current, std::string name,
                   Deadline& deadline, ServerAnswer* asked = nullptr);

}  // namespace brisakett
