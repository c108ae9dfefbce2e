#pragma once

#include <map>
#include <mutex>

#include "device_status_source.h"
#include "password_prompt.h"

namespace brisakett {

// Each queue's device as the scheduler that CupsConnection reaches has it
// (its device-uri), read for every queue in one CUPS-Get-Printers the
// first time it is asked and kept for the run; and what the scheduler
// last heard from a device, read afresh each time.
class CupsDeviceLocator final : public DeviceLocator {
public:
  explicit CupsDeviceLocator(const SpoolerLogin& login) : login_(login) {}

  std::vector<SpoolerAnswer<DeviceAddress>> Locate(const std::vector<std::string>& deviceNames,
                                                   Deadline& deadline) const override;
  // Asks the scheduler for each job's time-at-completed and its queue's
  // printer-state-change-time.
  std::vector<SpoolerAnswer<std::vector<std::string>>> HeardAfter(const std::vector<WatchedJob>& jobs,
                                                                  Deadline& deadline) const override;

private:
  const SpoolerLogin& login_;
  mutable std::mutex mutex_;
  mutable bool read_ = false;
  mutable std::map<std::string, DeviceAddress> byQueue_;
};

}  // namespace brisakett
