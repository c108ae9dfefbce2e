#include "cups/cups_printer_catalog.h"

#include <cups/cups.h>

#include "cups/cups_connection.h"
#include "cups/cups_dest_name.h"

namespace brisakett {

std::vector<std::string> CupsPrinterCatalog::DeviceNames() const {
  // cupsGetDests2 is the list every CUPS client shows: the scheduler's
  // queues, the instances saved in lpoptions, and on a local scheduler the
  // printers it finds on the network. It costs more per queue than asking
  // for the names alone (docs/performance.md), which would lose the last
  // two.
  const CupsConnection scheduler;
  if (!scheduler.Connected()) return {};
  cups_dest_t* dests = nullptr;
  const int count = cupsGetDests2(scheduler.Http(), &dests);
  std::vector<std::string> names;
  names.reserve(static_cast<std::size_t>(count > 0 ? count : 0));
  for (int i = 0; i < count; ++i) names.push_back(CupsDestName(dests[i]));
  cupsFreeDests(count, dests);
  return names;
}

std::optional<std::string> CupsPrinterCatalog::DefaultDeviceName() const {
  // The same look-up as `lpstat -d`: LPDEST, PRINTER, lpoptions, then the
  // scheduler's default.
  const CupsConnection scheduler;
  if (!scheduler.Connected()) return std::nullopt;
  cups_dest_t* dest = cupsGetNamedDest(scheduler.Http(), nullptr, nullptr);
  if (!dest) return std::nullopt;
  std::string name = CupsDestName(*dest);
  cupsFreeDests(1, dest);
  return name;
}

}  // namespace brisakett
