#pragma once

#include "job_watcher.h"

namespace brisakett {

// Reads a job's state with GetJobW, and its printer's with GetPrinterW,
// opening the printer afresh for each call, so that it can be used from
// any thread.
class Win32JobWatcher final : public JobWatcher {
public:
  JobLook Look(const std::string& deviceName, int jobId) const override;
  bool Cancel(const std::string& deviceName, int jobId, std::string& why) const override;
};

}  // namespace brisakett
