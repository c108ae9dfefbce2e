#include "cups/cups_device_locator.h"

#include <cups/cups.h>

#include <cstring>
#include <optional>

#include "cups/cups_connection.h"
#include "cups/cups_dest_name.h"

namespace brisakett {
namespace {

// Where a queue's device is, from its device-uri and printer-type. A
// device that speaks IPP is named by its printer URI, without the user,
// password and options that CUPS keeps in a device URI.
DeviceAddress AddressOf(const std::string& deviceUri, int printerType, bool serverIsRemote) {
  if (printerType & CUPS_PRINTER_CLASS) return {{}, "a class: the server chooses the printer"};
  char scheme[32], user[256], host[256], resource[1024];
  int port = 0;
  if (httpSeparateURI(HTTP_URI_CODING_ALL, deviceUri.c_str(), scheme, sizeof scheme, user,
                      sizeof user, host, sizeof host, &port, resource,
                      sizeof resource) < HTTP_URI_STATUS_OK) {
    // "usb://Maker/Model" and the like need not be URLs with a host.
    const std::string prefix = deviceUri.substr(0, deviceUri.find(':'));
    const DeviceToAsk none = ChooseDeviceToAsk(prefix, {}, serverIsRemote);
    return {{}, none.whyNot, true};
  }
  const DeviceToAsk device = ChooseDeviceToAsk(scheme, host, serverIsRemote);
  if (!device.speaksIpp) return {device.host, device.whyNot, true};
  if (char* options = std::strchr(resource, '?')) *options = '\0';
  char uri[HTTP_MAX_URI];
  httpAssembleURI(HTTP_URI_CODING_ALL, uri, sizeof uri, scheme, nullptr, host, port, resource);
  return {uri, {}, true};
}

// The time the scheduler gives as an integer attribute, if it gives one.
std::optional<int> TimeOf(ipp_t* response, const char* name) {
  ipp_attribute_t* attribute = ippFindAttribute(response, name, IPP_TAG_INTEGER);
  if (!attribute) return std::nullopt;
  return ippGetInteger(attribute, 0);
}

// The queue's state reasons, when they changed at or after the job's
// completion; both times are the scheduler's own clock.
SpoolerAnswer<std::vector<std::string>> ReasonsAfter(CupsConnection& scheduler, const WatchedJob& job) {
  const std::string queueUri = CupsQueueUri(CupsQueueOf(job.deviceName));
  ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, queueUri.c_str());
  ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", job.jobId);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
               "time-at-completed");
  ipp_t* response = scheduler.Exchange(request, "/");
  if (!response) return scheduler.Failure();
  const std::optional<int> completed = TimeOf(response, "time-at-completed");
  ippDelete(response);  // a job the scheduler no longer keeps has no time to go by
  if (!completed) return std::vector<std::string>{};

  request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, queueUri.c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  const char* wanted[] = {"printer-state-reasons", "printer-state-change-time"};
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 2, nullptr, wanted);
  response = scheduler.Exchange(request, "/");
  if (!response) return scheduler.Failure();
  std::vector<std::string> reasons;
  const std::optional<int> changed = TimeOf(response, "printer-state-change-time");
  ipp_attribute_t* attribute = ippFindAttribute(response, "printer-state-reasons", IPP_TAG_KEYWORD);
  const bool sinceCompleted = changed && *changed >= *completed;
  for (int i = 0; sinceCompleted && i < ippGetCount(attribute); ++i) {
    reasons.emplace_back(ippGetString(attribute, i, nullptr));
  }
  const ServerAnswer verdict = CupsConnection::Verdict(response);
  ippDelete(response);
  if (!verdict.Answered()) return verdict;
  return reasons;
}

}  // namespace

std::vector<SpoolerAnswer<DeviceAddress>> CupsDeviceLocator::Locate(
    const std::vector<std::string>& deviceNames, Deadline& deadline) const {
  const std::lock_guard lock(mutex_);
  if (!read_) {
    CupsConnection scheduler(deadline, login_);
    ipp_t* response = nullptr;
    if (scheduler.Connected()) {
      ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
      const char* wanted[] = {"printer-name", "device-uri", "printer-type"};
      ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 3,
                    nullptr, wanted);
      ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                   cupsUser());
      response = scheduler.Exchange(request, "/");
    }
    if (!response) {
      return std::vector<SpoolerAnswer<DeviceAddress>>(deviceNames.size(), scheduler.Failure());
    }
    const ServerAnswer verdict = CupsConnection::Verdict(response);
    if (!verdict.Answered()) {
      ippDelete(response);
      return std::vector<SpoolerAnswer<DeviceAddress>>(deviceNames.size(), verdict);
    }
    // A device of "localhost" on another machine's print server is that
    // machine's own.
    std::string server = scheduler.ServerName();
    if (server.front() != '[' && server.find(':') == server.rfind(':')) {
      server = server.substr(0, server.find(':'));  // "host:631"
    }
    const bool serverIsRemote = !IsLoopbackHost(server);
    std::string name, uri;
    int type = 0;
    const auto keep = [&] {
      if (!name.empty()) byQueue_[name] = AddressOf(uri, type, serverIsRemote);
      name.clear();
      uri.clear();
      type = 0;
    };
    for (ipp_attribute_t* attribute = ippFirstAttribute(response); attribute;
         attribute = ippNextAttribute(response)) {
      const char* attributeName = ippGetName(attribute);
      if (!attributeName) {
        keep();  // each printer is a group of its own
        continue;
      }
      const std::string_view is(attributeName);
      if (is == "printer-name") name = ippGetString(attribute, 0, nullptr);
      if (is == "device-uri") uri = ippGetString(attribute, 0, nullptr);
      if (is == "printer-type") type = ippGetInteger(attribute, 0);
    }
    keep();
    ippDelete(response);
    read_ = true;
  }
  std::vector<SpoolerAnswer<DeviceAddress>> addresses;
  addresses.reserve(deviceNames.size());
  for (const std::string& deviceName : deviceNames) {
    const auto found = byQueue_.find(CupsQueueOf(deviceName));
    addresses.push_back(found != byQueue_.end()
                            ? found->second
                            : DeviceAddress{{}, "the scheduler does not tell its device"});
  }
  return addresses;
}

std::vector<SpoolerAnswer<std::vector<std::string>>> CupsDeviceLocator::HeardAfter(
    const std::vector<WatchedJob>& jobs, Deadline& deadline) const {
  CupsConnection scheduler(deadline, login_);
  std::vector<SpoolerAnswer<std::vector<std::string>>> heard;
  for (const WatchedJob& job : jobs) {
    heard.push_back(scheduler.Connected() ? ReasonsAfter(scheduler, job)
                                          : SpoolerAnswer<std::vector<std::string>>(scheduler.Failure()));
  }
  return heard;
}

}  // namespace brisakett
