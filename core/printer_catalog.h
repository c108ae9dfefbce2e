#pragma once

#include <optional>
#include <string>
#include <vector>

#include "deadline.h"
#include "server_answer.h"

namespace brisakett {

// The installed printers as the operating system's spooler lists them.
// Every call asks the spooler afresh; nothing is cached or sorted.
class PrinterCatalog {
public:
  virtual ~PrinterCatalog() = default;

  // Device names in the spooler's own order.
  virtual SpoolerAnswer<std::vector<std::string>> DeviceNames(Deadline& deadline) const = 0;

  // Whether `name` is, byte for byte, one of DeviceNames(). A spooler that
  // can answer for one name alone overrides this to spare the whole list.
  virtual SpoolerAnswer<bool> IsInstalled(const std::string& name, Deadline& deadline) const;

  // The user's default printer; no value only when the spooler says there
  // is none.
  virtual SpoolerAnswer<std::optional<std::string>> DefaultDeviceName(
      Deadline& deadline) const = 0;
};

}  // namespace brisakett
