#pragma once

#include <functional>
#include <memory>
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

// One run's questions to devices, each on a clock of its own, so that a
// device that answers late (or a name server that does) never holds up
// another device's answer, nor the following of the jobs.
class DeviceQuestions {
public:
  using Answered = std::function<void(SpoolerAnswer<DeviceStatus>)>;
  virtual ~DeviceQuestions() = default;

  // Starts one question to the device at `host` and returns at once.
  // `answered` is called exactly once, from another thread, with the
  // device's reading (Confirmed, NotKnown when its reply could not be
  // read), or why it gave none: TimedOut when it did not answer,
  // Unreachable when it cannot be asked (its name does not resolve),
  // Refused when it answered that it will not tell. While one question to
  // a host is under way, another to the same host shares its answer.
  virtual void Ask(const std::string& host, Answered answered) = 0;
};

// Asks devices themselves for their status.
class DeviceStatusSource {
public:
  virtual ~DeviceStatusSource() = default;

  // The questions of one run, asked with the SNMP community `community`
  // where the device is asked over SNMP. Once they are destroyed, no
  // answer is given any more.
  virtual std::unique_ptr<DeviceQuestions> Open(const std::string& community) const = 0;
};

}  // namespace brisakett
