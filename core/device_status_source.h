#pragma once

#include <string>
#include <vector>

#include "deadline.h"
#include "device_status.h"
#include "server_answer.h"

namespace brisakett {

// Where a queue's printer can be asked for its status.
struct DeviceAddress {
  std::string host;    // empty: it is not asked
  std::string whyNot;  // why not, for the report
};

// Tells which device each queue prints to, as the spooler knows it.
class DeviceLocator {
public:
  virtual ~DeviceLocator() = default;

  // Each queue's device (`deviceNames` as the spooler lists them), in the
  // order given, all within `deadline`.
  virtual std::vector<SpoolerAnswer<DeviceAddress>> Locate(const std::vector<std::string>& deviceNames,
                                                           Deadline& deadline) const = 0;
};

// Asks devices themselves for their status.
class DeviceStatusSource {
public:
  virtual ~DeviceStatusSource() = default;

  // Asks every host at once and waits for all of them within `deadline`:
  // each the device's status, or why it gave none (TimedOut when it did
  // not answer, Unreachable when its name does not resolve, Refused when
  // it answered with an error). `community` is the SNMP community.
  virtual std::vector<SpoolerAnswer<DeviceStatus>> Ask(const std::vector<std::string>& hosts,
                                                       const std::string& community,
                                                       Deadline& deadline) const = 0;
};

}  // namespace brisakett
