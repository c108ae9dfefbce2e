#include "cups/cups_printer_catalog.h"

#include <cups/cups.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>

#include "cups/cups_connection.h"
#include "cups/cups_dest_name.h"
#include "cups/lpoptions_instances.h"

namespace brisakett {
namespace {

ipp_t* NewRequest(ipp_op_t operation) {
  ipp_t* request = ippNewRequest(operation);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
               "printer-name");
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
               cupsUser());
  return request;
}

// Whether the scheduler could have a queue of that name at all: CUPS
// refuses blanks, control characters, DEL, / \ ? ' " # and names of 128
// bytes or more. Anything else is asked about.
bool CouldBeQueueName(const std::string& name) {
  if (name.empty() || name.size() >= 128) return false;
  return std::none_of(name.begin(), name.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte <= ' ' || byte == 127 || std::strchr("/\\?'\"#", c) != nullptr;
  });
}

std::vector<std::string> Names(const std::vector<CupsDest>& dests) {
  std::vector<std::string> names;
  names.reserve(dests.size());
  for (const CupsDest& dest : dests) {
    names.push_back(CupsDestName(dest.queue, dest.instance));
  }
  return names;
}

// The status and the printer-name values of a CUPS-Get-Printers answer,
// read straight from its bytes: with thousands of queues, building the
// answer as libcups attributes and freeing them again costs more than the
// rest of the list. Nothing when the bytes are not a well-formed answer.
std::optional<ipp_status_t> ReadPrinterNames(const std::string& answer,
                                             std::vector<CupsDest>& dests) {
  const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(answer[at]); };
  const auto twoBytes = [&](std::size_t at) { return std::size_t(byte(at)) << 8 | byte(at + 1); };
  if (answer.size() < 8) return std::nullopt;
  const auto status = static_cast<ipp_status_t>(twoBytes(2));
  std::string_view attribute;
  for (std::size_t at = 8; at < answer.size();) {
    const unsigned char tag = byte(at++);
    if (tag == IPP_TAG_END) return status;
    if (tag < IPP_TAG_UNSUPPORTED_VALUE) continue;  // the start of a group
    if (tag == IPP_TAG_EXTENSION || at + 2 > answer.size()) return std::nullopt;
    const std::size_t nameLength = twoBytes(at);
    at += 2;
    if (at + nameLength + 2 > answer.size()) return std::nullopt;
    if (nameLength > 0) attribute = std::string_view(answer).substr(at, nameLength);
    at += nameLength;
    const std::size_t valueLength = twoBytes(at);
    at += 2;
    if (at + valueLength > answer.size()) return std::nullopt;
    if (tag == IPP_TAG_NAME && attribute == "printer-name") {
      dests.push_back({answer.substr(at, valueLength), {}});
    }
    at += valueLength;
  }
  return std::nullopt;
}

}  // namespace

SpoolerAnswer<std::vector<std::string>> CupsPrinterCatalog::DeviceNames(
    Deadline& deadline) const {
  // One CUPS-Get-Printers request for the names alone, plus the instances
  // saved in lpoptions: the same list as cupsGetDests2, which also asks for
  // the default printer and some twenty attributes per queue. Printers
  // found only by DNS-SD browsing, which cupsGetDests2 adds from a local
  // scheduler, are not queues on the scheduler and are not listed.
  CupsConnection scheduler(deadline, login_);
  std::string answer;
  if (!scheduler.ExchangeForBytes(NewRequest(IPP_OP_CUPS_GET_PRINTERS), "/", answer)) {
    return scheduler.Failure();
  }
  std::vector<CupsDest> dests;
  const std::optional<ipp_status_t> status = ReadPrinterNames(answer, dests);
  // A scheduler with no printers answers "not found"; any other error
  // status is the scheduler refusing to list them, in its own words.
  if (!status || (*status > IPP_STATUS_OK_CONFLICTING && *status != IPP_STATUS_ERROR_NOT_FOUND)) {
    ipp_t* response = scheduler.Parse(answer);
    if (!response) return scheduler.Failure();
    const ServerAnswer refusal = CupsConnection::Verdict(response);
    ippDelete(response);
    return refusal;
  }
  if (dests.empty()) return {};
  AddLpoptionsInstances(dests);
  return Names(dests);
}

SpoolerAnswer<bool> CupsPrinterCatalog::IsInstalled(const std::string& name,
                                                    Deadline& deadline) const {
  // One Get-Printer-Attributes request about the queue alone. CUPS finds
  // a queue whatever the case of the name it is asked about, and lpoptions
  // may spell it differently again, so the name is compared with what the
  // list would show for that queue, instances included.
  const std::string queue = CupsQueueOf(name);
  if (!CouldBeQueueName(queue)) return false;

  ipp_t* request = NewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr,
               CupsQueueUri(queue).c_str());

  CupsConnection scheduler(deadline, login_);
  ipp_t* response = scheduler.Exchange(request, "/");
  if (!response) return {scheduler.Failure(), false};

  const ipp_status_t status = ippGetStatusCode(response);
  const char* listedQueue =
      ippGetString(ippFindAttribute(response, "printer-name", IPP_TAG_NAME), 0, nullptr);
  std::vector<CupsDest> dests;
  if (status <= IPP_STATUS_OK_CONFLICTING && listedQueue) dests.push_back({listedQueue, {}});
  // Any error but "not found" is the scheduler refusing to say, in its words.
  const ServerAnswer refusal = status == IPP_STATUS_ERROR_NOT_FOUND
                                   ? ServerAnswer{}
                                   : CupsConnection::Verdict(response);
  ippDelete(response);
  if (!refusal.Answered()) return {refusal, false};
  if (dests.empty()) return false;
  AddLpoptionsInstances(dests);
  const std::vector<std::string> names = Names(dests);
  return std::find(names.begin(), names.end(), name) != names.end();
}

SpoolerAnswer<std::optional<std::string>> CupsPrinterCatalog::DefaultDeviceName(
    Deadline& deadline) const {
  // The same look-up as `lpstat -d`: LPDEST, PRINTER, lpoptions, then the
  // scheduler's default.
  CupsConnection scheduler(deadline, login_);
  if (!scheduler.Connected()) return scheduler.Failure();
  cups_dest_t* dest = cupsGetNamedDest(scheduler.Http(), nullptr, nullptr);
  if (!dest) {
    if (cupsLastError() != IPP_STATUS_ERROR_NOT_FOUND) return scheduler.Failure();
    // libcups says "not found" however its question for the default ended,
    // a refusal included; the scheduler is asked itself whether it has none.
    ipp_t* request = NewRequest(IPP_OP_CUPS_GET_DEFAULT);
    ipp_t* response = scheduler.Exchange(request, "/");
    if (!response) return scheduler.Failure();
    const bool none = ippGetStatusCode(response) == IPP_STATUS_ERROR_NOT_FOUND;
    const ServerAnswer verdict = CupsConnection::Verdict(response);
    ippDelete(response);
    if (!none && !verdict.Answered()) return verdict;
    return std::optional<std::string>();
  }
  std::string name = CupsDestName(*dest);
  cupsFreeDests(1, dest);
  return std::optional<std::string>(std::move(name));
}

}  // namespace brisakett
