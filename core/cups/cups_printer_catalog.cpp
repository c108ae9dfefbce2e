#include "cups/cups_printer_catalog.h"

#include <cups/cups.h>

#include "cups/cups_connection.h"
#include "cups/cups_dest_name.h"
#include "cups/lpoptions_instances.h"

namespace brisakett {

std::vector<std::string> CupsPrinterCatalog::DeviceNames() const {
  // One CUPS-Get-Printers request for the names alone, plus the instances
  // saved in lpoptions: the same list as cupsGetDests2, which also asks for
  // the default printer and some twenty attributes per queue, which libcups
  // reads a few bytes per system call (half a second for 1000 queues).
  // Printers found only by DNS-SD browsing, which cupsGetDests2 adds from a
  // local scheduler, are not queues on the scheduler and are not listed.
  ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
               "printer-name");
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
               cupsUser());
  const CupsConnection scheduler;
  if (!scheduler.Connected()) {
    ippDelete(request);
    return {};
  }
  ipp_t* response = cupsDoRequest(scheduler.Http(), request, "/");

  std::vector<CupsDest> dests;
  for (ipp_attribute_t* name = ippFindAttribute(response, "printer-name", IPP_TAG_NAME); name;
       name = ippFindNextAttribute(response, "printer-name", IPP_TAG_NAME)) {
    dests.push_back({ippGetString(name, 0, nullptr), {}});
  }
  ippDelete(response);
  if (dests.empty()) return {};
  AddLpoptionsInstances(dests);

  std::vector<std::string> names;
  names.reserve(dests.size());
  for (const CupsDest& dest : dests) {
    names.push_back(dest.instance.empty() ? dest.queue : dest.queue + '/' + dest.instance);
  }
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
