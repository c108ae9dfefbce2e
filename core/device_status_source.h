#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "deadline.h"
#include "device_status.h"
#include "job_watcher.h"
#include "server_answer.h"

namespace brisakett {

// Where a queue's printer can be asked for its status.
struct DeviceAddress {
  // The device as its questions know it, which its answers come under:
  // its host, asked over SNMP; for a device that speaks IPP its printer
  // URI ("ipps://host:631/ipp/print"), asked over IPP and then over SNMP
  // at its host; on Windows the printer's name. Empty: it is not asked.
  std::string host;
  std::string whyNot;  // why not, for the report
  // The spooler itself talks to the device when it prints to it, so the
  // queue's state reasons hold what it last heard from it.
  bool spoolerHears = false;
};

// Tells which device each queue prints to, as the spooler knows it.
class DeviceLocator {
public:
  virtual ~DeviceLocator() = default;

  // Each queue's device (`deviceNames` as the spooler lists them), in the
  // order given, all within `deadline`.
  virtual std::vector<SpoolerAnswer<DeviceAddress>> Locate(const std::vector<std::string>& deviceNames,
                                                           Deadline& deadline) const = 0;

  // For each job, in the order given and all within `deadline`: its
  // queue's state reasons as the spooler last heard them from the device
  // (printer-state-reasons), when they are from after the job completed;
  // none when they are older or the spooler does not keep them.
  virtual std::vector<SpoolerAnswer<std::vector<std::string>>> HeardAfter(const std::vector<WatchedJob>& jobs,
                                                                          Deadline&) const {
    return std::vector<SpoolerAnswer<std::vector<std::string>>>(jobs.size());
  }
};

// One run's questions to devices, each on a clock of its own, so that a
// device that answers late (or a name server that does) never holds up
// another device's answer, nor the following of the jobs.
class DeviceQuestions {
public:
  using Answered = std::function<void(SpoolerAnswer<DeviceStatus>)>;
  virtual ~DeviceQuestions() = default;

  // Starts one question to the device `host` (as DeviceAddress names it)
  // and returns at once.
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
