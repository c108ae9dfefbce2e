#pragma once

#include <optional>
#include <string>
#include <vector>

namespace brisakett {

// The installed printers as the operating system's spooler lists them.
// Every call asks the spooler afresh; nothing is cached or sorted.
class PrinterCatalog {
public:
  virtual ~PrinterCatalog() = default;

  // Device names in the spooler's own order. Empty when the spooler has
  // no printers or cannot be reached.
  virtual std::vector<std::string> DeviceNames() const = 0;

  // The user's default printer, or nothing when there is none.
  virtual std::optional<std::string> DefaultDeviceName() const = 0;
};

}  // namespace brisakett
