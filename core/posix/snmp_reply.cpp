#include "posix/snmp_reply.h"

#include <algorithm>
#include <cstdint>

namespace brisakett {
namespace {

// hrDeviceStatus (hrDeviceTable), hrPrinterStatus and
// hrPrinterDetectedErrorState (hrPrinterTable), without their row.
const std::vector<oid> kDeviceStatusColumn{1, 3, 6, 1, 2, 1, 25, 3, 2, 1, 5};
const std::vector<oid> kPrinterStatusColumn{1, 3, 6, 1, 2, 1, 25, 3, 5, 1, 1};
const std::vector<oid> kErrorStateColumn{1, 3, 6, 1, 2, 1, 25, 3, 5, 1, 2};

// An hrDeviceIndex runs from 1 to 2147483647.
constexpr oid kLargestRow = 2147483647;
// hrPrinterDetectedErrorState has 15 bits today; a longer string is read
// for its first octets only, and nothing of it is kept beyond these.
constexpr std::size_t kErrorStateOctetsKept = 8;

const char* NameOf(PrinterValue value) {
  switch (value) {
    case PrinterValue::DeviceStatus: return "hrDeviceStatus";
    case PrinterValue::PrinterStatus: return "hrPrinterStatus";
    case PrinterValue::DetectedErrorState: break;
  }
  return "hrPrinterDetectedErrorState";
}

std::string TypeName(u_char type) {
  switch (type) {
    case ASN_INTEGER: return "an integer";
    case ASN_OCTET_STR: return "a string";
    case ASN_NULL: return "null";
    case ASN_OBJECT_ID: return "an object identifier";
    default: return "type " + std::to_string(type);
  }
}

bool IsException(u_char type) {
  return type == SNMP_NOSUCHOBJECT || type == SNMP_NOSUCHINSTANCE || type == SNMP_ENDOFMIBVIEW;
}

std::size_t CountValues(const netsnmp_pdu& response) {
  std::size_t count = 0;
  for (const netsnmp_variable_list* value = response.variables; value; value = value->next_variable) {
    ++count;
  }
  return count;
}

bool Named(const netsnmp_variable_list& value, const std::vector<oid>& name) {
  return value.name && value.name_length == name.size() &&
         snmp_oid_compare(value.name, value.name_length, name.data(), name.size()) == 0;
}

SnmpReply Malformed(std::string why) {
  SnmpReply reply;
  reply.kind = SnmpReply::Kind::Malformed;
  reply.why = std::move(why);
  return reply;
}

SnmpReply Of(SnmpReply::Kind kind, std::string why = {}) {
  SnmpReply reply;
  reply.kind = kind;
  reply.why = std::move(why);
  return reply;
}

// What every reply must be before its values are looked at: a response,
// with an error status that names a value of the question when it names
// one. Nothing when it is.
std::optional<SnmpReply> CheckEnvelope(const netsnmp_pdu& response, std::size_t askedCount) {
  if (response.command != SNMP_MSG_RESPONSE) {
    return Malformed("a message of type " + std::to_string(response.command) + " instead of a response");
  }
  if (response.errstat == SNMP_ERR_NOERROR) {
    const std::size_t count = CountValues(response);
    if (count != askedCount) {
      return Malformed(std::to_string(count) + " values for the " + std::to_string(askedCount) + " asked");
    }
    return std::nullopt;
  }
  if (response.errstat == SNMP_ERR_NOSUCHNAME) {
    if (response.errindex < 1 || static_cast<std::size_t>(response.errindex) > askedCount) {
      return Malformed("\"no such name\" at error-index " + std::to_string(response.errindex) +
                       " for the " + std::to_string(askedCount) + " values asked");
    }
    SnmpReply without = Of(SnmpReply::Kind::Without);
    without.without = static_cast<std::size_t>(response.errindex - 1);
    return without;
  }
  if (response.errstat < 0 || response.errstat > SNMP_ERR_INCONSISTENTNAME) {
    return Malformed("error status " + std::to_string(response.errstat));
  }
  return Of(SnmpReply::Kind::Refused,
            std::string("SNMP error: ") + snmp_errstring(static_cast<int>(response.errstat)));
}

}  // namespace

std::vector<oid> PrinterValueName(PrinterValue value, oid row) {
  std::vector<oid> name = value == PrinterValue::DeviceStatus    ? kDeviceStatusColumn
                          : value == PrinterValue::PrinterStatus ? kPrinterStatusColumn
                                                                 : kErrorStateColumn;
  name.push_back(row);
  return name;
}

const std::vector<oid>& PrinterStatusColumn() { return kPrinterStatusColumn; }

SnmpReply ReadRowReply(const netsnmp_pdu& response) {
  if (std::optional<SnmpReply> failed = CheckEnvelope(response, 1)) {
    // GETNEXT past the last object: SNMPv1's way of saying there is none.
    if (failed->kind == SnmpReply::Kind::Without) return Of(SnmpReply::Kind::NoPrinter);
    return *failed;
  }
  const netsnmp_variable_list& found = *response.variables;
  if (found.type == SNMP_ENDOFMIBVIEW) return Of(SnmpReply::Kind::NoPrinter);
  const std::vector<oid>& column = kPrinterStatusColumn;
  if (!found.name || found.name_length == 0) return Malformed("a value without a name");
  if (snmp_oid_compare(found.name, found.name_length, column.data(), column.size()) <= 0) {
    return Malformed("a GETNEXT reply that does not go forward");
  }
  const bool inColumn = found.name_length > column.size() &&
                        snmp_oid_compare(found.name, column.size(), column.data(), column.size()) == 0;
  if (!inColumn) return Of(SnmpReply::Kind::NoPrinter);
  const oid row = found.name[column.size()];
  if (found.name_length != column.size() + 1 || row < 1 || row > kLargestRow) {
    return Malformed("a printer row whose index is no hrDeviceIndex");
  }
  SnmpReply reply = Of(SnmpReply::Kind::Values);
  reply.row = row;
  return reply;
}

SnmpReply ReadValuesReply(const netsnmp_pdu& response, const std::vector<PrinterValue>& asked, oid row) {
  if (std::optional<SnmpReply> failed = CheckEnvelope(response, asked.size())) return *failed;
  std::optional<long> deviceStatus, printerStatus;
  std::string errorState, wrongType;
  std::size_t i = 0;
  for (const netsnmp_variable_list* value = response.variables; value; value = value->next_variable, ++i) {
    const PrinterValue wanted = asked[i];
    if (!Named(*value, PrinterValueName(wanted, row))) {
      return Malformed(std::string("another object in place of ") + NameOf(wanted));
    }
    if (IsException(value->type)) continue;  // SNMPv2's "not here", value by value
    if (wanted == PrinterValue::DetectedErrorState) {
      if (value->type == ASN_OCTET_STR && (value->val_len == 0 || value->val.string)) {
        errorState.assign(reinterpret_cast<const char*>(value->val.string),
                          std::min(value->val_len, kErrorStateOctetsKept));
        continue;
      }
    } else if (value->type == ASN_INTEGER && value->val.integer) {
      (wanted == PrinterValue::DeviceStatus ? deviceStatus : printerStatus) = *value->val.integer;
      continue;
    }
    AppendWords(wrongType, std::string(NameOf(wanted)) + " as " + TypeName(value->type));
  }
  SnmpReply reply = Of(SnmpReply::Kind::Values);
  reply.row = row;
  reply.status = ReadPrinterMib(deviceStatus, printerStatus, errorState,
                                wrongType.empty() ? "" : "a value of the wrong type: " + wrongType);
  return reply;
}

}  // namespace brisakett
