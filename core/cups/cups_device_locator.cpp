#include "cups/cups_device_locator.h"

#include <cups/cups.h>

#include "cups/cups_connection.h"
#include "cups/cups_dest_name.h"

namespace brisakett {
namespace {

// Where a queue's device is, from its device-uri and printer-type.
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
    return {{}, none.whyNot};
  }
  const DeviceToAsk device = ChooseDeviceToAsk(scheme, host, serverIsRemote);
  return {device.host, device.whyNot};
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

}  // namespace brisakett
