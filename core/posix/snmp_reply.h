#pragma once

// clang-format off: net-snmp's headers need their configuration first.
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
// clang-format on

#include <optional>
#include <string>
#include <vector>

#include "device_status.h"

namespace brisakett {

// The printer's three values of the Host Resources MIB (RFC 2790), each in
// its own table: hrDeviceStatus in hrDeviceTable, the other two in
// hrPrinterTable, all at the printer's hrDeviceIndex.
enum class PrinterValue { DeviceStatus, PrinterStatus, DetectedErrorState };

// A value's name at the printer's row.
std::vector<oid> PrinterValueName(PrinterValue value, oid row);
// hrPrinterStatus's column: a GETNEXT on it finds the first printer's row.
const std::vector<oid>& PrinterStatusColumn();

// What an agent's reply to one question says. Every reply comes from the
// network and is checked before anything in it is used.
struct SnmpReply {
  enum class Kind {
    Values,     // the values asked for (a GET), or the printer's row (a GETNEXT)
    Without,    // an SNMPv1 "noSuchName" for the value at `without`: ask again without it
    NoPrinter,  // a GETNEXT that found no printer row
    Refused,    // an error status other than noSuchName, in `why`
    Malformed,  // a reply these RFCs do not allow, described in `why`
  };
  Kind kind = Kind::Malformed;
  std::string why;
  std::size_t without = 0;  // index into the values asked
  oid row = 0;              // the printer's row, for a GETNEXT
  DeviceStatus status;      // the reading, for a GET
};

// A GETNEXT's reply to hrPrinterStatus's column.
SnmpReply ReadRowReply(const netsnmp_pdu& response);
// A GET's reply to `asked` at `row`.
SnmpReply ReadValuesReply(const netsnmp_pdu& response, const std::vector<PrinterValue>& asked,
                          oid row);

}  // namespace brisakett
